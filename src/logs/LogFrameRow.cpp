#include "logs/LogFrameRow.h"

#include <cstring>

namespace {

const char hexDigits[] = "0123456789ABCDEF";

void AppendHex(QByteArray &out, uint32_t value, int digits)
{
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4)
        out += hexDigits[(value >> shift) & 0xF];
}

} // namespace

bool LogFrameToRow(const TLogFrame &f, QByteArray &text, TFrameRow &row)
{
    if (f.Fd || f.Error || f.Data.size() > 8)
        return false;
    TDecodedLine &d = row.decoded;
    d = TDecodedLine();
    d.kind = f.Extended ? (f.Remote ? TFrameKind::ExtendedRemote : TFrameKind::ExtendedData)
                        : (f.Remote ? TFrameKind::StandardRemote : TFrameKind::StandardData);
    d.id = f.Id;
    // A classic length code above 8 still carries 8 bytes: the module's line has one digit to 8.
    d.dlc = uint8_t(std::min<int>(f.Dlc, 8));
    if (!f.Remote && f.Data.size() < d.dlc)
        d.dlc = uint8_t(f.Data.size());
    std::memcpy(d.data, f.Data.constData(), size_t(std::min<qsizetype>(f.Data.size(), 8)));
    text.clear();
    text += f.Remote ? (f.Extended ? 'E' : 'T') : (f.Extended ? 'e' : 't');
    AppendHex(text, f.Id, f.Extended ? 8 : 3);
    text += char('0' + d.dlc);
    if (!f.Remote)
        for (int i = 0; i < d.dlc; ++i)
            AppendHex(text, d.data[i], 2);
    row.timeUs = f.TimeUs;
    row.text = QByteArrayView(text);
    row.raw = QByteArrayView();
    row.terminated = true;
    return true;
}
