#include "logs/LogReader.h"

#include "logs/ByteSource.h"
#include "logs/LogFormats.h"
#include "common/InputFile.h"

namespace {

struct TKindName {
    TLogKind kind;
    const char *name;
};
constexpr TKindName kindNames[] = {{TLogKind::Candump, "candump"}, {TLogKind::Asc, "asc"},
                                   {TLogKind::Trc, "trc"},         {TLogKind::Pcap, "pcap"},
                                   {TLogKind::Pcapng, "pcapng"},   {TLogKind::Blf, "blf"},
                                   {TLogKind::Csv, "csv"}};

bool StartsWithNoCase(QByteArrayView s, QByteArrayView prefix)
{
    return s.size() >= prefix.size() && s.first(prefix.size()).compare(prefix, Qt::CaseInsensitive) == 0;
}

QByteArrayView TrimmedLine(QByteArrayView s)
{
    return s.trimmed();
}

// What a text line says of its format, if anything.
bool KindOfLine(QByteArrayView line, TLogKind &kind)
{
    if (line.startsWith(';')) {
        kind = TLogKind::Trc;
        return true;
    }
    if (line.startsWith('(')) {
        kind = TLogKind::Candump;
        return true;
    }
    if (StartsWithNoCase(line, "date ") || StartsWithNoCase(line, "base ") || line.startsWith("//")
        || StartsWithNoCase(line, "begin triggerblock") || StartsWithNoCase(line, "no internal events")
        || StartsWithNoCase(line, "internal events")) {
        kind = TLogKind::Asc;
        return true;
    }
    if (line.startsWith("time,kind,id") || line.startsWith("timestamp,arbitration_id")) {
        kind = TLogKind::Csv;
        return true;
    }
    // TRC 1.x without a header: "1)  1059.9  Rx  0300  8  00 ..."
    const qsizetype paren = line.indexOf(')');
    if (paren > 0 && paren < 12) {
        bool digits = true;
        for (char c : line.first(paren))
            digits = digits && c >= '0' && c <= '9';
        if (digits) {
            kind = TLogKind::Trc;
            return true;
        }
    }
    return false;
}

// A binary log's kind, by its first four bytes.
bool KindOfMagic(QByteArrayView head, TLogKind &kind)
{
    if (head.startsWith("LOGG")) {
        kind = TLogKind::Blf;
        return true;
    }
    if (head.size() >= 4) {
        const uint32_t magic = uint32_t(uint8_t(head[0])) << 24 | uint32_t(uint8_t(head[1])) << 16
                             | uint32_t(uint8_t(head[2])) << 8 | uint8_t(head[3]);
        if (magic == 0x0A0D0D0Au) {
            kind = TLogKind::Pcapng;
            return true;
        }
        if (magic == 0xD4C3B2A1u || magic == 0xA1B2C3D4u || magic == 0x4D3CB2A1u || magic == 0xA1B23C4Du) {
            kind = TLogKind::Pcap;
            return true;
        }
    }
    return false;
}

// The most of a log's head the format is told from.
constexpr qsizetype HeadBytes = 4096;

// True when `head` tells the format as a head of HeadBytes would: past a binary log's magic, and
// for text up to the first line that is neither blank nor a comment, whole. A pipe's writer may
// be slow: its first frame shows without waiting for HeadBytes.
bool HeadTells(QByteArrayView head)
{
    TLogKind binary;
    if (head.size() < 4)
        return false;
    if (KindOfMagic(head, binary))
        return true;
    if (head.startsWith("\xEF\xBB\xBF"))
        head = head.sliced(3);
    for (;;) {
        const qsizetype lf = head.indexOf('\n');
        if (lf < 0)
            return false;
        const QByteArrayView line = TrimmedLine(head.first(lf));
        head = head.sliced(lf + 1);
        if (!line.isEmpty() && !line.startsWith('#'))
            return true;
    }
}

bool KindOfName(const QString &fileName, TLogKind &kind)
{
    const QString lower = fileName.toLower();
    if (lower.endsWith(QLatin1String(".log")) || lower.endsWith(QLatin1String(".candump"))) {
        kind = TLogKind::Candump;
        return true;
    }
    for (const TKindName &k : kindNames)
        if (k.kind != TLogKind::Candump && lower.endsWith(QLatin1Char('.') + QLatin1String(k.name))) {
            kind = k.kind;
            return true;
        }
    return false;
}

} // namespace

const char *LogKindName(TLogKind kind)
{
    for (const TKindName &k : kindNames)
        if (k.kind == kind)
            return k.name;
    return "?";
}

bool LogKindForName(QStringView name, TLogKind &kind)
{
    for (const TKindName &k : kindNames)
        if (name.compare(QLatin1String(k.name), Qt::CaseInsensitive) == 0) {
            kind = k.kind;
            return true;
        }
    return false;
}

bool DetectLogKind(QByteArrayView head, const QString &fileName, TLogKind &kind)
{
    if (KindOfMagic(head, kind))
        return true;
    // Text: the first line that tells. Blank lines and candump's "#" comments say nothing.
    QByteArrayView rest = head;
    if (rest.startsWith("\xEF\xBB\xBF"))
        rest = rest.sliced(3);
    while (!rest.isEmpty()) {
        const qsizetype lf = rest.indexOf('\n');
        const QByteArrayView line = TrimmedLine(lf < 0 ? rest : rest.first(lf));
        rest = lf < 0 ? QByteArrayView() : rest.sliced(lf + 1);
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        if (KindOfLine(line, kind))
            return true;
        break;
    }
    return KindOfName(fileName, kind);
}

struct TLogInput {
    TLogInput() : source(&stream) {}
    TLogInput(const QByteArray &bytes, const QString &name)
        : source(bytes), size(bytes.size()), path(name), name(name)
    {
    }
    TInputStream stream;
    TByteSource source;
    qint64 size = -1;
    QString path; // as given: its ending breaks ties between formats
    QString name; // in problems
};

void TLogInputFree::operator()(TLogInput *input) const
{
    delete input;
}

TLogReader::TLogReader(TLogKind kind, TByteSource &source, QString name)
    : m_in(source), m_name(std::move(name)), m_kind(kind)
{
}

TLogReader::~TLogReader()
{
}

bool TLogReader::Next(TLogFrame &frame)
{
    if (m_done)
        return false;
    if (!ReadFrame(frame)) {
        m_done = true;
        return false;
    }
    ++m_frames;
    return true;
}

qint64 TLogReader::BytesRead() const
{
    return m_in.Offset();
}

bool TLogReader::FailAtLine(uint64_t line, const QString &what)
{
    m_problem = QStringLiteral("%1:%2: %3").arg(m_name).arg(line).arg(what);
    return false;
}

bool TLogReader::FailAtByte(qint64 offset, const QString &what)
{
    m_problem = QStringLiteral("%1: byte %2: %3").arg(m_name).arg(offset).arg(what);
    return false;
}

struct TLogOpening {
    static std::unique_ptr<TLogReader> Make(TLogInputPtr input, QString &problem, const TLogKind *forced);
};

std::unique_ptr<TLogReader> TLogOpening::Make(TLogInputPtr input, QString &problem, const TLogKind *forced)
{
    const QString &path = input->path;
    const QString &name = input->name;
    TLogKind kind = TLogKind::Candump;
    if (forced) {
        kind = *forced;
    } else {
        // Each turn waits for no more than the next read gives.
        QByteArrayView head;
        for (;;) {
            const qsizetype want = std::min(HeadBytes, std::max(head.size() + 1, input->source.Buffered()));
            head = input->source.Peek(want);
            if (head.size() < want || head.size() >= HeadBytes || HeadTells(head))
                break;
        }
        if (!input->source.Error().isEmpty()) {
            problem = QStringLiteral("%1: read failed: %2").arg(name, input->source.Error());
            return nullptr;
        }
        if (head.isEmpty()) {
            problem = QStringLiteral("%1: is empty, no log").arg(name);
            return nullptr;
        }
        if (!DetectLogKind(head, path, kind)) {
            problem = QStringLiteral("%1: not a log format this program reads (candump, ASC, TRC, pcap, pcapng, "
                                     "BLF, CSV); name it by its ending or give its format")
                          .arg(name);
            return nullptr;
        }
    }
    std::unique_ptr<TLogReader> reader;
    switch (kind) {
    case TLogKind::Candump: reader = MakeCandumpReader(input->source, name); break;
    case TLogKind::Asc: reader = MakeAscReader(input->source, name); break;
    case TLogKind::Trc: reader = MakeTrcReader(input->source, name); break;
    case TLogKind::Csv: reader = MakeCsvReader(input->source, name); break;
    case TLogKind::Pcap: reader = MakePcapReader(input->source, name); break;
    case TLogKind::Pcapng: reader = MakePcapngReader(input->source, name); break;
    case TLogKind::Blf: reader = MakeBlfReader(input->source, name); break;
    }
    reader->m_total = input->size;
    reader->m_input = std::move(input);
    return reader;
}

TLogInputPtr OpenLogInput(const QString &path, QString &problem, const TInputCancel *cancel)
{
    TLogInputPtr input(new TLogInput);
    if (!input->stream.Open(path, cancel)) {
        problem = input->stream.Problem();
        return nullptr;
    }
    input->size = input->stream.Size();
    input->path = path;
    input->name = path == QLatin1String("-") ? QStringLiteral("standard input") : path;
    return input;
}

std::unique_ptr<TLogReader> OpenLogReader(TLogInputPtr input, QString &problem, const TLogKind *forced)
{
    return TLogOpening::Make(std::move(input), problem, forced);
}

bool LogInputIsPipe(const TLogInput &input)
{
    return input.stream.IsPipe();
}

std::unique_ptr<TLogReader> OpenLogReader(const QString &path, QString &problem, const TLogKind *forced,
                                          const TInputCancel *cancel)
{
    TLogInputPtr input = OpenLogInput(path, problem, cancel);
    return input ? TLogOpening::Make(std::move(input), problem, forced) : nullptr;
}

std::unique_ptr<TLogReader> OpenLogBytes(const QByteArray &bytes, const QString &name, QString &problem,
                                         const TLogKind *forced)
{
    return TLogOpening::Make(TLogInputPtr(new TLogInput(bytes, name)), problem, forced);
}

int FdCodeLength(int code)
{
    static constexpr int lengths[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 12, 16, 20, 24, 32, 48, 64};
    return lengths[code & 0xF];
}
