#include "protocol/SettingsCommand.h"

#include "protocol/BoxLists.h"
#include "protocol/CanIdentifier.h"

namespace {

// Upper-case hex of the 32-bit pattern with at least `digits` digits.
QByteArray hex(int32_t value, int digits)
{
    return QByteArray::number(uint32_t(value), 16).toUpper().rightJustified(digits, '0');
}

bool inList(int32_t index, int32_t count)
{
    return index >= 0 && index < count;
}

bool isFlag(char c)
{
    return c == '0' || c == '1';
}

} // namespace

bool IsCompleteRS232Write(const TRS232Write &w)
{
    return inList(w.BaudIndex, BoxLists::RS232Baudrates().size()) && inList(w.DataBits, BoxLists::DataBits().size()) &&
           inList(w.StopBits, BoxLists::StopBits().size()) && inList(w.Parity, BoxLists::Parities().size()) &&
           inList(w.Checksum, BoxLists::NoYes().size()) && inList(w.Respond, BoxLists::NoYes().size());
}

bool IsCompleteCanWrite(const TCanWrite &w)
{
    // In 2.0A a code or mask travels as three digits; a larger value would take more.
    const bool fieldsFit = w.Spec != 0 || (inList(w.Code, 0x1000) && inList(w.Mask, 0x1000));
    return inList(w.Spec, BoxLists::CanSpecifications().size()) && inList(w.Baud, BoxLists::CanBaudrates().size()) &&
           inList(w.Hidden, 16) && fieldsFit && isFlag(w.PairFlag) && isFlag(w.TxIdFlag) && isFlag(w.RespIdFlag) &&
           inList(w.EndOfCommand, BoxLists::EndsOfCommand().size());
}

QByteArray BuildRS232Command(const TRS232Write &w)
{
    return QByteArray("$P009") + hex(w.BaudIndex, 2) + hex(w.DataBits, 1) + hex(w.StopBits, 1) +
           hex(w.Parity, 1) + hex(w.Checksum, 1) + hex(w.Respond, 1);
}

QByteArray BuildCanCommand(const TCanWrite &w, int firmwareLevel)
{
    const bool layout20A = w.Spec == 0;
    QByteArray command = firmwareLevel >= 2 ? QByteArray("$P121") : QByteArray("$P115");
    command += hex(w.Spec, 1) + hex(w.Baud, 1) + hex(w.Hidden, 1);
    if (layout20A) {
        command += "0" + hex(w.Code, 3) + "0000";
        command += "0" + hex(w.Mask, 3) + "0000";
    } else {
        command += hex(w.Code, 8);
        command += hex(w.Mask, 8);
    }
    if (firmwareLevel >= 2) {
        command += layout20A ? "00000" + hex(w.TxCanId & CanId::MaxStandard, CanId::StandardDigits)
                             : hex(w.TxCanId & CanId::MaxExtended, CanId::ExtendedDigits);
        command += w.PairFlag;
        command += w.TxIdFlag;
        command += w.RespIdFlag;
        command += hex(w.EndOfCommand, 1);
    }
    return command;
}
