#include "cli/MonitorFormat.h"

namespace {

bool isHex(const QByteArray &text)
{
    for (char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f')))
            return false;
    return true;
}

QByteArray escaped(const QByteArray &line)
{
    QByteArray out;
    for (char c : line) {
        const auto u = uint8_t(c);
        if (u >= 0x20 && u < 0x7F && c != '\\')
            out += c;
        else if (c == '\\')
            out += "\\\\";
        else
            out += "\\x" + QByteArray::number(u, 16).rightJustified(2, '0').toUpper();
    }
    return out;
}

QByteArray epochSeconds(const QDateTime &time)
{
    const qint64 ms = time.toMSecsSinceEpoch();
    return QByteArray::number(ms / 1000) + '.' + QByteArray::number((ms % 1000) * 1000).rightJustified(6, '0');
}

QByteArray csvField(const QByteArray &text)
{
    if (!text.contains(',') && !text.contains('"'))
        return text;
    QByteArray quoted = text;
    quoted.replace("\"", "\"\"");
    return '"' + quoted + '"';
}

} // namespace

std::optional<TCanFrameText> DecodeFrameLine(const QByteArray &line)
{
    if (line.isEmpty())
        return std::nullopt;
    TCanFrameText f;
    const char kind = line.at(0);
    if (kind != 't' && kind != 'T' && kind != 'e' && kind != 'E')
        return std::nullopt;
    f.Extended = kind == 'e' || kind == 'E';
    f.Remote = kind == 'T' || kind == 'E';
    const int idDigits = f.Extended ? 8 : 3;
    if (line.size() < 1 + idDigits + 1)
        return std::nullopt;
    const QByteArray id = line.mid(1, idDigits);
    const char dlc = line.at(1 + idDigits);
    if (!isHex(id) || dlc < '0' || dlc > '8')
        return std::nullopt;
    f.Id = id.toUInt(nullptr, 16);
    if (f.Id > (f.Extended ? 0x1FFFFFFFu : 0x7FFu))
        return std::nullopt;
    f.Dlc = dlc - '0';
    const QByteArray rest = line.mid(2 + idDigits);
    const qsizetype dataDigits = f.Remote ? 0 : 2 * f.Dlc;
    if (rest.size() != dataDigits || !isHex(rest))
        return std::nullopt;
    f.Data = rest.toUpper();
    return f;
}

QByteArray FormatPlainLine(const QDateTime &time, const QByteArray &line)
{
    return time.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")).toLatin1() + ' ' + escaped(line);
}

QByteArray FormatCandumpLine(const QDateTime &time, const QByteArray &line)
{
    const auto f = DecodeFrameLine(line);
    if (!f)
        return QByteArray();
    const QByteArray id = QByteArray::number(f->Id, 16).toUpper().rightJustified(f->Extended ? 8 : 3, '0');
    return '(' + epochSeconds(time) + ") can0 " + id + '#' + (f->Remote ? QByteArray("R") : f->Data);
}

QByteArray CsvHeader()
{
    return "time,line,id,extended,remote,dlc,data";
}

QByteArray FormatCsvLine(const QDateTime &time, const QByteArray &line)
{
    QByteArray row = epochSeconds(time) + ',' + csvField(escaped(line)) + ',';
    if (const auto f = DecodeFrameLine(line))
        row += QByteArray::number(f->Id, 16).toUpper().rightJustified(f->Extended ? 8 : 3, '0') + ',' +
               (f->Extended ? "1" : "0") + ',' + (f->Remote ? "1" : "0") + ',' + QByteArray::number(f->Dlc) + ',' +
               f->Data;
    else
        row += ",,,,";
    return row;
}
