#include "bridge/SlcanProtocol.h"

#include "common/HexDigit.h"
#include "monitor/LogWriters.h"
#include "protocol/CanIdentifier.h"
#include "protocol/MessageLine.h"

#include <cmath>

namespace {

constexpr char Ok[] = "\r";
constexpr char Bell[] = "\a";
constexpr char HexDigits[] = "0123456789ABCDEF";

// `digits` hex digits of either case from `text` at `at`; false on anything else.
bool readHex(QByteArrayView text, qsizetype at, int digits, uint32_t &value)
{
    value = 0;
    for (int i = 0; i < digits; ++i) {
        const int d = HexDigitValue(text[at + i]);
        if (d < 0)
            return false;
        value = value << 4 | uint32_t(d);
    }
    return true;
}

void appendHex(QByteArray &out, uint32_t value, int digits)
{
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4)
        out += HexDigits[(value >> shift) & 0xF];
}

} // namespace

namespace Slcan {

int32_t CodeRate(char code)
{
    static constexpr int32_t rates[] = {10000, 20000, 50000, 100000, 125000, 250000, 500000, 800000, 1000000, 83333};
    return code >= '0' && code <= '9' ? rates[code - '0'] : 0;
}

int32_t RegisterRate(uint8_t btr0, uint8_t btr1)
{
    // One time quantum is 2 * (BRP + 1) clock periods; a bit is the sync quantum plus both segments.
    const int prescaler = (btr0 & 0x3F) + 1;
    const int quanta = 1 + (btr1 & 0x0F) + 1 + ((btr1 >> 4) & 0x07) + 1;
    return int32_t(std::lround(16000000.0 / (2.0 * prescaler * quanta)));
}

QString RateText(int32_t bitsPerSecond)
{
    if (bitsPerSecond <= 0)
        return QStringLiteral("unknown");
    if (bitsPerSecond % 1000 == 0)
        return QString::number(bitsPerSecond / 1000) + QLatin1Char('K');
    return QString::number(bitsPerSecond / 1000.0, 'f', 1) + QLatin1Char('K');
}

int32_t ParseRate(const QString &text)
{
    QString t = text.trimmed().toUpper();
    double factor = 1;
    if (t.endsWith(QLatin1Char('K')))
        factor = 1000;
    else if (t.endsWith(QLatin1Char('M')))
        factor = 1000000;
    if (factor != 1)
        t.chop(1);
    bool ok = false;
    const double value = t.toDouble(&ok) * factor;
    if (!ok || !(value >= 1000 && value <= 1000000))
        return 0;
    // 83.3K is 83 1/3 kbit/s: every reading of it is the same rate.
    if (std::abs(value - 83333) < 50)
        return 83333;
    return int32_t(std::lround(value));
}

QByteArray FourDigits(const QString &text)
{
    QByteArray digits;
    for (const QChar c : text)
        if (c.isDigit())
            digits += char(c.unicode());
    return digits.right(4).rightJustified(4, '0');
}

} // namespace Slcan

TSlcanProtocol::TSlcanProtocol(TSetup setup) : m_setup(std::move(setup))
{
}

void TSlcanProtocol::Warn(const QString &message)
{
    if (m_setup.warn)
        m_setup.warn(message);
}

void TSlcanProtocol::Refuse()
{
    ++m_counts.refused;
    Answer(Bell);
}

void TSlcanProtocol::FeedCommands(QByteArrayView bytes)
{
    for (const char c : bytes) {
        if (c == '\r') {
            if (m_overlong)
                Refuse();
            else
                Execute(m_command);
            m_command.clear();
            m_overlong = false;
        } else if (c == '\n' && m_command.isEmpty() && !m_overlong) {
            // The LF of a tool that ends its commands with CR LF.
        } else if (m_overlong || m_command.size() == Slcan::MaxCommand) {
            m_overlong = true;
            m_command.clear();
        } else {
            m_command += c;
        }
    }
}

void TSlcanProtocol::Execute(QByteArrayView command)
{
    const qsizetype size = command.size();
    if (size == 0) {
        Answer(Ok); // tools send lone CRs to empty the adapter's buffer
        return;
    }
    const char letter = command[0];
    switch (letter) {
    case 'O':
    case 'L':
    case 'C':
        if (size != 1)
            break;
        m_state = letter == 'O' ? TState::Open : letter == 'L' ? TState::ListenOnly : TState::Closed;
        Answer(Ok);
        return;
    case 'S':
        if (size != 2 || Slcan::CodeRate(command[1]) == 0)
            break;
        if (CheckRate(Slcan::CodeRate(command[1]), command))
            Answer(Ok);
        return;
    case 's': {
        uint32_t registers = 0;
        if (size != 5 || !readHex(command, 1, 4, registers))
            break;
        if (CheckRate(Slcan::RegisterRate(uint8_t(registers >> 8), uint8_t(registers)), command))
            Answer(Ok);
        return;
    }
    case 't':
    case 'T':
    case 'r':
    case 'R':
        if (!SendFrame(command))
            break;
        Answer(letter == 't' || letter == 'r' ? "z\r" : "Z\r");
        return;
    case 'F': {
        if (size != 1)
            break;
        QByteArray answer = "F";
        appendHex(answer, m_flags, 2);
        Answer(answer + '\r');
        m_flags = 0;
        return;
    }
    case 'V':
    case 'v':
    case 'N':
        if (size != 1)
            break;
        Answer(QByteArray(1, letter) + (letter == 'N' ? m_setup.serial : m_setup.version) + '\r');
        return;
    case 'Z':
    case 'X':
        // Z: time stamps on received frames. X: auto-poll; frames always go out as they come.
        if (size != 2 || (command[1] != '0' && command[1] != '1'))
            break;
        if (letter == 'Z')
            m_stamps = command[1] == '1';
        Answer(Ok);
        return;
    case 'P':
        // Nothing waits to be polled: every frame went out when it came.
        if (size != 1)
            break;
        Answer(Ok);
        return;
    case 'A':
        if (size != 1)
            break;
        Answer("A\r");
        return;
    default:
        break;
    }
    Refuse();
}

bool TSlcanProtocol::CheckRate(int32_t requested, QByteArrayView command)
{
    if (requested == m_setup.moduleRate)
        return true;
    const QString asked = QStringLiteral("the tool asks for a CAN bit rate of %1 (%2)")
                              .arg(Slcan::RateText(requested), QString::fromLatin1(command.data(), command.size()));
    if (m_setup.moduleRate <= 0)
        Warn(asked + QStringLiteral(", but the module's rate is not known here (--bitrate names it): refused"));
    else
        Warn(asked + QStringLiteral(", but the module runs at %1, its own setting: refused")
                         .arg(Slcan::RateText(m_setup.moduleRate)));
    Refuse();
    return false;
}

bool TSlcanProtocol::SendFrame(QByteArrayView command)
{
    const char letter = command[0];
    const bool extended = letter == 'T' || letter == 'R';
    const bool remote = letter == 'r' || letter == 'R';
    const int digits = CanId::Digits(extended);
    if (command.size() < 1 + digits + 1)
        return false;
    uint32_t id = 0;
    if (!readHex(command, 1, digits, id) || id > uint32_t(CanId::Max(extended)))
        return false;
    const char dlcChar = command[1 + digits];
    if (dlcChar < '0' || dlcChar > '8')
        return false;
    const int dlc = dlcChar - '0';
    if (command.size() != 1 + digits + 1 + (remote ? 0 : 2 * dlc))
        return false;
    TComposerFields fields;
    for (int i = 0; i < (remote ? 0 : dlc); ++i) {
        uint32_t byte = 0;
        if (!readHex(command, 2 + digits + 2 * i, 2, byte))
            return false;
        fields.Data[i] = int32_t(byte);
    }
    // Closed or listening only: nothing reaches the bus.
    if (m_state != TState::Open)
        return false;
    fields.IdText = QString::number(id, 16);
    fields.ModeText = extended ? QStringLiteral("1") : QStringLiteral("0");
    fields.RtrText = remote ? QStringLiteral("1") : QStringLiteral("0");
    fields.DlcText = QString::number(dlc);
    if (!m_setup.send || !m_setup.send(ComposeMessageLine(fields).toLatin1())) {
        ++m_counts.sendFailed;
        m_flags |= Slcan::FlagTxFailed;
        return false;
    }
    ++m_counts.fromTool;
    return true;
}

void TSlcanProtocol::ModuleLine(QByteArrayView text, int64_t timeUs)
{
    if (text.isEmpty())
        return;
    const TDecodedLine frame = DecodeLine(text.data(), text.size());
    if (frame.kind == TFrameKind::Reply) {
        ++m_counts.replies;
        return;
    }
    if (!IsCanFrame(frame.kind)) {
        ++m_counts.other;
        return;
    }
    if (IsBadFrame(frame)) {
        ++m_counts.badChecksum;
        return;
    }
    if (!IsOpen()) {
        ++m_counts.whileClosed;
        return;
    }
    const QByteArray out = FormatFrame(frame, m_stamps, timeUs);
    if (m_out.size() + out.size() > Slcan::FrameRoom) {
        if (m_droppedInRun++ == 0)
            Warn(QStringLiteral("the tool does not read: frames for it are dropped (its F command reports the overrun)"));
        ++m_counts.dropped;
        m_flags |= Slcan::FlagRxQueueFull | Slcan::FlagDataOverrun;
        return;
    }
    m_out += out;
    ++m_counts.toTool;
}

void TSlcanProtocol::Reset()
{
    m_state = TState::Closed;
    m_stamps = false;
    m_command.clear();
    m_overlong = false;
    m_out.clear();
    m_droppedInRun = 0;
}

void TSlcanProtocol::Consumed(qsizetype bytes)
{
    m_out.remove(0, std::min(bytes, m_out.size()));
    // Said once the tool has caught up halfway, so a tool reading at the edge gets no line per frame.
    if (m_droppedInRun > 0 && m_out.size() <= Slcan::FrameRoom / 2) {
        Warn(QStringLiteral("the tool reads again; %1 frames were dropped meanwhile").arg(m_droppedInRun));
        m_droppedInRun = 0;
    }
}

QByteArray TSlcanProtocol::FormatFrame(const TDecodedLine &frame, bool stamp, int64_t timeUs)
{
    const bool extended = IsExtended(frame.kind);
    const bool remote = IsRemote(frame.kind);
    QByteArray out;
    out.reserve(32);
    out += remote ? (extended ? 'R' : 'r') : (extended ? 'T' : 't');
    appendHex(out, frame.id, CanId::Digits(extended));
    out += char('0' + frame.dlc);
    if (!remote)
        for (int i = 0; i < frame.dlc; ++i)
            appendHex(out, frame.data[i], 2);
    if (stamp) {
        const int64_t ms = timeUs / 1000 % 60000;
        appendHex(out, uint32_t(ms < 0 ? ms + 60000 : ms), 4);
    }
    out += '\r';
    return out;
}
