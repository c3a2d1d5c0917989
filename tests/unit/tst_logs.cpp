// The log readers against other tools' writers: python-can's ASC, BLF, TRC, candump and CSV
// writers, editcap's pcapng and nanosecond pcap and can-utils' log2asc write the same random
// frames, and every reader must give them back. Malformed logs of every format end in a named
// problem, never a crash or a read past the data.

#include "logs/LogFrameRow.h"
#include "logs/LogReader.h"
#include "monitor/LogWriters.h"

#include <QtEndian>

#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace {

// 2025-12-09T11:33:20Z: a whole millisecond, as BLF and ASC headers keep only milliseconds.
constexpr int64_t startUs = 1765280000000000;

struct TWanted {
    TLogFrame frame;
};

QVector<TLogFrame> randomFrames()
{
    QRandomGenerator random(3316);
    QVector<TLogFrame> frames;
    int64_t t = startUs;
    for (int i = 0; i < 300; ++i) {
        TLogFrame f;
        f.TimeUs = t;
        const int kind = random.bounded(20);
        f.Error = kind == 0;
        f.Remote = kind == 1 || kind == 2;
        if (!f.Error) {
            f.Extended = random.bounded(2);
            f.Id = random.bounded(f.Extended ? 0x20000000u : 0x800u);
            f.Dlc = uint8_t(random.bounded(9));
            if (!f.Remote)
                for (int b = 0; b < f.Dlc; ++b)
                    f.Data += char(random.bounded(256));
        }
        frames.append(f);
        // Over a day between the halves, a few milliseconds between neighbours.
        t += i == 150 ? 90000LL * 1000000 + 1 : random.bounded(1, 50000);
    }
    return frames;
}

QString python()
{
    return QStandardPaths::findExecutable(QStringLiteral("python3"), {QStringLiteral("/usr/bin")});
}

QString describe(const TLogFrame &f)
{
    return QStringLiteral("%1 %2 %3%4%5%6%7 %8 %9")
        .arg(QString::fromLatin1(f.Interface))
        .arg(f.TimeUs)
        .arg(f.Id, 0, 16)
        .arg(f.Extended ? "x" : "")
        .arg(f.Remote ? " R" : "")
        .arg(f.Error ? " E" : "")
        .arg(f.Fd ? " F" : "")
        .arg(f.Dlc)
        .arg(QString::fromLatin1(f.Data.toHex()));
}

struct TReadResult {
    QVector<TLogFrame> frames;
    QString problem;
    uint64_t skipped = 0;
    bool absolute = false;
};

TReadResult readAll(std::unique_ptr<TLogReader> reader, const QString &openProblem)
{
    TReadResult r;
    if (!reader) {
        r.problem = openProblem;
        return r;
    }
    TLogFrame f;
    while (reader->Next(f))
        r.frames.append(f);
    r.problem = reader->Problem();
    r.skipped = reader->Skipped();
    r.absolute = reader->TimesAbsolute();
    return r;
}

TReadResult readFile(const QString &path)
{
    QString problem;
    auto reader = OpenLogReader(path, problem);
    return readAll(std::move(reader), problem);
}

TReadResult readBytes(const QByteArray &bytes, const QString &name)
{
    QString problem;
    auto reader = OpenLogBytes(bytes, name, problem);
    return readAll(std::move(reader), problem);
}

QByteArray le32(uint32_t v)
{
    const char b[4] = {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
    return QByteArray(b, 4);
}
QByteArray be32(uint32_t v)
{
    const char b[4] = {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
    return QByteArray(b, 4);
}
QByteArray le16(uint16_t v)
{
    const char b[2] = {char(v), char(v >> 8)};
    return QByteArray(b, 2);
}

QByteArray pcapHeader(uint32_t magic, uint32_t link, bool big)
{
    auto u32 = big ? be32 : le32;
    QByteArray h = u32(magic);
    h += big ? QByteArray("\0\2\0\4", 4) : QByteArray("\2\0\4\0", 4);
    return h + u32(0) + u32(0) + u32(65535) + u32(link);
}

QByteArray pcapRecord(uint32_t sec, uint32_t frac, const QByteArray &packet, bool big)
{
    auto u32 = big ? be32 : le32;
    return u32(sec) + u32(frac) + u32(uint32_t(packet.size())) + u32(uint32_t(packet.size())) + packet;
}

// A SocketCAN frame with the id in `big` byte order.
QByteArray canPacket(uint32_t id, const QByteArray &data, bool big = true)
{
    QByteArray p = big ? be32(id) : le32(id);
    p += char(data.size());
    p += QByteArray(3, '\0');
    return p + data + QByteArray(8 - std::min<int>(8, data.size()), '\0');
}

QByteArray pcapngBlock(uint32_t type, const QByteArray &body)
{
    QByteArray b = body;
    while (b.size() % 4)
        b += '\0';
    const uint32_t total = uint32_t(b.size() + 12);
    return le32(type) + le32(total) + b + le32(total);
}

QByteArray pcapngSection()
{
    return pcapngBlock(0x0A0D0D0A, le32(0x1A2B3C4D) + le16(1) + le16(0) + QByteArray(8, '\xFF'));
}

QByteArray pcapngInterface(uint16_t link, const QByteArray &name, int8_t resolution)
{
    QByteArray options = le16(2) + le16(uint16_t(name.size())) + name;
    while (options.size() % 4)
        options += '\0';
    options += le16(9) + le16(1) + char(resolution) + QByteArray(3, '\0');
    options += le16(0) + le16(0);
    return pcapngBlock(1, le16(link) + le16(0) + le32(0) + options);
}

QByteArray pcapngPacket(uint32_t interface, uint64_t stamp, const QByteArray &packet)
{
    return pcapngBlock(6, le32(interface) + le32(uint32_t(stamp >> 32)) + le32(uint32_t(stamp)) + le32(packet.size())
                              + le32(packet.size()) + packet);
}

QByteArray blfHeader(uint32_t size = 144)
{
    QByteArray h = "LOGG" + le32(size);
    h += QByteArray(32, '\0');
    // 2025-12-09 11:33:20.000 local time
    for (uint16_t v : {2025, 12, 2, 9, 11, 33, 20, 0})
        h += le16(v);
    h += QByteArray(int(size) - h.size() > 0 ? int(size) - h.size() : 0, '\0');
    return h;
}

QByteArray blfObject(uint32_t type, const QByteArray &body, uint64_t stampNs)
{
    QByteArray o = "LOBJ" + le16(32) + le16(1) + le32(uint32_t(32 + body.size())) + le32(type);
    o += le32(2) + le16(0) + le16(0) + le32(uint32_t(stampNs)) + le32(uint32_t(stampNs >> 32));
    o += body;
    return o + QByteArray(body.size() % 4, '\0');
}

QByteArray blfCanMessage(uint16_t channel, uint32_t id, const QByteArray &data, uint64_t stampNs)
{
    return blfObject(1, le16(channel) + char(0) + char(data.size()) + le32(id) + data.leftJustified(8, '\0'), stampNs);
}

QByteArray blfContainer(const QByteArray &inner, int method, int declared = -1)
{
    const QByteArray packed = method == 2 ? qCompress(inner).mid(4) : inner; // qCompress adds a 4-byte size
    QByteArray body = le16(uint16_t(method)) + QByteArray(6, '\0') + le32(uint32_t(declared < 0 ? inner.size() : declared))
                    + QByteArray(4, '\0') + packed;
    QByteArray o = "LOBJ" + le16(16) + le16(1) + le32(uint32_t(16 + body.size())) + le32(10) + body;
    return o + QByteArray(o.size() % 4, '\0');
}

} // namespace

class TstLogs : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QVector<TLogFrame> m_frames;

    QString path(const QString &name) const { return m_dir.filePath(name); }

    bool run(const QString &program, const QStringList &args)
    {
        QProcess p;
        p.start(program, args);
        if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
            qWarning() << program << args << p.readAllStandardError();
            return false;
        }
        return true;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_frames = randomFrames();
        QFile json(path("frames.jsonl"));
        QVERIFY(json.open(QIODevice::WriteOnly));
        for (const TLogFrame &f : m_frames)
            json.write(QStringLiteral("{\"t\": %1.%2, \"id\": %3, \"ext\": %4, \"rtr\": %5, \"err\": %6, \"dlc\": %7, "
                                      "\"data\": \"%8\"}\n")
                           .arg(f.TimeUs / 1000000)
                           .arg(f.TimeUs % 1000000, 6, 10, QLatin1Char('0'))
                           .arg(f.Id)
                           .arg(f.Extended ? "true" : "false")
                           .arg(f.Remote ? "true" : "false")
                           .arg(f.Error ? "true" : "false")
                           .arg(f.Dlc)
                           .arg(QString::fromLatin1(f.Data.toHex()))
                           .toUtf8());
        json.close();
        QVERIFY(run(python(), {QStringLiteral(K3316_TESTS_DIR "/support/pycan_write_logs.py"), path("frames.jsonl"),
                               m_dir.path()}));
        // Our pcap writer for the classic frames; editcap makes pcapng and nanosecond pcap of it.
        TLogEncoder pcap(TLogFormat::Pcap);
        QByteArray bytes = pcap.Header();
        QByteArray text;
        for (const TLogFrame &f : m_frames) {
            TFrameRow row;
            if (LogFrameToRow(f, text, row))
                pcap.Append(bytes, row);
        }
        QFile out(path("ours.pcap"));
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(bytes);
        out.close();
        const QString editcap = QStandardPaths::findExecutable(QStringLiteral("editcap"));
        QVERIFY2(!editcap.isEmpty(), "editcap (Debian's tshark) is needed");
        QVERIFY(run(editcap, {QStringLiteral("-F"), QStringLiteral("pcapng"), path("ours.pcap"), path("editcap.pcapng")}));
        QVERIFY(run(editcap, {QStringLiteral("-F"), QStringLiteral("nsecpcap"), path("ours.pcap"), path("editcap.ns.pcap")}));
        const QString log2asc = QStandardPaths::findExecutable(QStringLiteral("log2asc"));
        QVERIFY2(!log2asc.isEmpty(), "log2asc (Debian's can-utils) is needed");
        QVERIFY(run(log2asc, {QStringLiteral("-I"), path("pycan.log"), QStringLiteral("-O"), path("log2asc.asc"),
                              QStringLiteral("vcan0")}));
    }

    void readsWhatOtherToolsWrote_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("remoteLengthKept");
        QTest::addColumn<bool>("remoteAndErrorKept");
        QTest::addColumn<bool>("classicOnly"); // only what a pcap of ours holds
        QTest::addColumn<bool>("timesFromFirst");
        QTest::newRow("python-can candump") << "pycan.log" << false << true << false << false;
        QTest::newRow("python-can ASC") << "pycan.asc" << true << true << false << false;
        QTest::newRow("python-can BLF") << "pycan.blf" << true << true << false << false;
        // python-can writes TRC without remote and error frames, and with a start time of its own.
        QTest::newRow("python-can TRC") << "pycan.trc" << true << false << false << true;
        QTest::newRow("python-can CSV") << "pycan.csv" << true << true << false << false;
        QTest::newRow("log2asc ASC") << "log2asc.asc" << false << true << false << false;
        QTest::newRow("our pcap") << "ours.pcap" << true << true << true << false;
        QTest::newRow("editcap pcapng") << "editcap.pcapng" << true << true << true << false;
        QTest::newRow("editcap nanosecond pcap") << "editcap.ns.pcap" << true << true << true << false;
    }

    void readsWhatOtherToolsWrote()
    {
        QFETCH(QString, file);
        QFETCH(bool, remoteLengthKept);
        QFETCH(bool, remoteAndErrorKept);
        QFETCH(bool, classicOnly);
        QFETCH(bool, timesFromFirst);
        const TReadResult r = readFile(path(file));
        QVERIFY2(r.problem.isEmpty(), qPrintable(r.problem));
        QVector<TLogFrame> wanted;
        for (const TLogFrame &f : m_frames)
            if ((remoteAndErrorKept || !(f.Remote || f.Error)) && (!classicOnly || !f.Error))
                wanted.append(f);
        QCOMPARE(r.frames.size(), wanted.size());
        const int64_t base = timesFromFirst ? r.frames[0].TimeUs - wanted[0].TimeUs : 0;
        for (int i = 0; i < wanted.size(); ++i) {
            TLogFrame want = wanted[i];
            TLogFrame got = r.frames[i];
            // python-can formats seconds as decimal text from a double: a microsecond either way.
            QVERIFY2(std::abs(got.TimeUs - base - want.TimeUs) <= 1,
                     qPrintable(QStringLiteral("frame %1: %2 wanted %3").arg(i).arg(describe(got), describe(want))));
            got.TimeUs = want.TimeUs;
            got.Interface.clear();
            want.Interface.clear();
            if (want.Error) { // error frames carry the writer's own identifier and data
                QVERIFY(got.Error);
                continue;
            }
            if (want.Remote && !remoteLengthKept)
                want.Dlc = 0;
            QCOMPARE(describe(got), describe(want));
        }
    }

    // Every writer of ours, read back by our readers: the frames a module line carries, exactly.
    void ourWritersReadBack_data()
    {
        QTest::addColumn<QString>("format");
        for (const char *f : {"candump", "csv", "pcap", "pcapng", "asc", "trc", "blf"})
            QTest::newRow(f) << QString::fromLatin1(f);
    }
    void ourWritersReadBack()
    {
        QFETCH(QString, format);
        TLogFormat f = TLogFormat::Raw;
        QVERIFY(LogFormatForName(format, f));
        TLogEncoder encoder(f, startUs);
        QByteArray bytes = encoder.Header();
        QByteArray text;
        QVector<TLogFrame> wanted;
        for (const TLogFrame &frame : m_frames) {
            TFrameRow row;
            if (!LogFrameToRow(frame, text, row))
                continue;
            encoder.Append(bytes, row);
            wanted.append(frame);
        }
        bytes += encoder.Footer();
        const TReadResult r = readBytes(bytes, QStringLiteral("ours.") + LogFormatSuffix(f));
        QVERIFY2(r.problem.isEmpty(), qPrintable(r.problem));
        QVERIFY(r.absolute);
        QCOMPARE(r.frames.size(), wanted.size());
        for (int i = 0; i < wanted.size(); ++i) {
            TLogFrame got = r.frames[i];
            got.Interface.clear();
            // TRC's start time is a fraction of a day: within ten microseconds.
            if (f == TLogFormat::Trc && std::abs(got.TimeUs - wanted[i].TimeUs) <= 10)
                got.TimeUs = wanted[i].TimeUs;
            QCOMPARE(describe(got), describe(wanted[i]));
        }
    }

    void handMadeLogs_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("frames");
        QTest::addColumn<int>("skipped");

        QTest::newRow("candump comments, blank lines, FD and error frames")
            << QByteArray("# recorded on the test bench\n\n(1.000001) can0 123#11AB\n  # more\n"
                          "(1.5) can1 12345678#R3\n(2.000000) can0 20000004#0000080000000000\n"
                          "(3.000000) can0 123##1112233\n")
            << "x.log"
            << "can0 1000001 123 2 11ab|can1 1500000 12345678x R 3 |can0 2000000 4 E 8 0000080000000000|"
               "can0 3000000 123 F 3 112233"
            << 3;
        const int64_t ascStart = QDateTime(QDate(2025, 12, 9), QTime(11, 33, 20)).toMSecsSinceEpoch() * 1000;
        QTest::newRow("ASC, base dec, relative times, CANFD, error, events")
            << QByteArray("date Tue Dec 09 11:33:20.000 am 2025\nbase dec  timestamps relative\n"
                          "no internal events logged\n// comment\nBegin Triggerblock\n"
                          "   0.000000 Start of measurement\n   0.001000 1  291             Rx   d 2 17 171\n"
                          "   0.001000 2  ErrorFrame\n   0.000500 1  100x            Tx   r 4\n"
                          "   0.002000 CANFD   1 Rx        801  1 0 9 12 0 1 2 3 4 5 6 7 8 9 10 11\n"
                          "   0.000001 1  Statistic: D 0 R 0\nEnd TriggerBlock\n")
            << "x.asc"
            << QStringLiteral("1 %1 123 2 11ab|2 %2 0 E 0 |1 %3 64x R 4 |1 %4 321 F 12 000102030405060708090a0b")
                   .arg(ascStart + 1000)
                   .arg(ascStart + 2000)
                   .arg(ascStart + 2500)
                   .arg(ascStart + 4500)
            << 8;
        QTest::newRow("TRC 1.1 with a remote frame")
            << QByteArray(";$FILEVERSION=1.1\r\n;   comment\r\n     1)      1059.9  Rx         0300  2  AA BB\r\n"
                          "     2)      1060.0  Rx     1FFFFFFF  4  RTR\r\n     3)      1061.0  Warng  FFFFFFFF  4  00 00 00 08\r\n")
            << "x.trc" << "1 1059900 300 2 aabb|1 1060000 1fffffffx R 4 " << 3;
        QTest::newRow("TRC 2.0 FD, error and remote rows")
            << QByteArray(";$FILEVERSION=2.0\n;$COLUMNS=N,O,T,I,d,l,D\n     1        17.535 DT     0300 Rx 2  01 02\n"
                          "     2        18.000 FD     0301 Rx 12 00 01 02 03 04 05 06 07 08 09 0A 0B\n"
                          "     3        19.000 ER          Rx 5  00 01 02 03 04\n     4        20.000 RR 0234 Tx 3\n"
                          "     5        21.000 ST          Rx 00 00 00 08\n")
            << "x.trc" << "1 17535 300 2 0102|1 18000 301 F 12 000102030405060708090a0b|1 19000 0 E 0 |1 20000 234 R 3 "
            << 3;
        QTest::newRow("our CSV, replies skipped")
            << QByteArray("time,kind,id,dlc,data,checksum,raw\r\n2025-12-09T11:33:20.000001Z,t,123,2,11AB,,t123211AB\r\n"
                          "2025-12-09T11:33:20.5Z,reply,,,,,!\r\n2025-12-09T11:33:21.000000Z,E,1ABCDEF0,3,,,E1ABCDEF03\r\n")
            << "x.csv" << "k3316 1765280000000001 123 2 11ab|k3316 1765280001000000 1abcdef0x R 3 " << 2;
        QTest::newRow("pcap big-endian, nanoseconds, FD by length")
            << pcapHeader(0xA1B23C4D, 227, true) + pcapRecord(10, 500000000, canPacket(0x123, "\x11\x22"), true)
                   + pcapRecord(11, 1000, canPacket(0x80000000 | 0x1234567, QByteArray(64, 'A')).leftJustified(72, '\0'), true)
            << "x" << "0 10500000 123 2 1122|0 11000001 1234567x F 64 " + QString(QByteArray(64, 'A').toHex()) << 0;
        QTest::newRow("pcap Linux cooked capture, little-endian id")
            << pcapHeader(0xA1B2C3D4, 113, false)
                   + pcapRecord(5, 7, QByteArray("\0\1\1\x18\0\0\0\0\0\0\0\0\0\0\0\x0C", 16) + canPacket(0x40000000 | 0x7FF, "", false), false)
                   + pcapRecord(5, 8, QByteArray("\0\0\1\x18\0\0\0\0\0\0\0\0\0\0\x08\x00", 16) + "IPv4", false)
            << "x" << "0 5000007 7ff R 0 " << 1;
        QTest::newRow("pcapng two interfaces, micro and nanoseconds")
            << pcapngSection() + pcapngInterface(227, "can0", 6) + pcapngInterface(227, "vcan1", 9)
                   + pcapngPacket(0, 1000001, canPacket(0x123, "\x01")) + pcapngBlock(5, QByteArray(8, '\0'))
                   + pcapngPacket(1, 2000000001500, canPacket(0x80000000 | 0x100, "\x02\x03"))
            << "x" << "can0 1000001 123 1 01|vcan1 2000000002 100x 2 0203" << 1;
        const int64_t blfStart = QDateTime(QDate(2025, 12, 9), QTime(11, 33, 20)).toMSecsSinceEpoch() * 1000;
        const QByteArray objects = blfCanMessage(1, 0x123, "\xAA", 1000) + blfCanMessage(2, 0x80000000 | 0x1FFFFFFF, "", 2000000);
        QTest::newRow("BLF, an object split over two compressed containers, a lone object")
            << blfHeader() + blfContainer(objects.first(40), 2) + blfContainer(objects.mid(40), 2)
                   + blfCanMessage(3, 0x7FF, "\1\2\3", 3000000)
            << "x"
            << QStringLiteral("1 %1 123 1 aa|2 %2 1fffffffx 0 |3 %3 7ff 3 010203").arg(blfStart + 1).arg(blfStart + 2000).arg(blfStart + 3000)
            << 0;
        // An object of another kind, longer than the room kept before unpacked objects, begun in
        // one container and ended in the third.
        const QByteArray longObjects = blfCanMessage(1, 0x100, "\1", 1000) + blfObject(999, QByteArray(700, '\x77'), 2000)
                                     + blfCanMessage(1, 0x101, "\2", 3000000);
        QTest::newRow("BLF, a long object over three compressed containers")
            << blfHeader() + blfContainer(longObjects.first(100), 2) + blfContainer(longObjects.mid(100, 300), 2)
                   + blfContainer(longObjects.mid(400), 2)
            << "x" << QStringLiteral("1 %1 100 1 01|1 %2 101 1 02").arg(blfStart + 1).arg(blfStart + 3000) << 1;
    }

    void handMadeLogs()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, name);
        QFETCH(QString, frames);
        QFETCH(int, skipped);
        const TReadResult r = readBytes(bytes, name);
        QVERIFY2(r.problem.isEmpty(), qPrintable(r.problem));
        QStringList got;
        for (const TLogFrame &f : r.frames)
            got << describe(f);
        QCOMPARE(got.join(QLatin1Char('|')), frames);
        QCOMPARE(int(r.skipped), skipped);
    }

    void malformedLogsEndInANamedProblem_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("problem");
        const QByteArray pcapOk = pcapHeader(0xA1B2C3D4, 227, false) + pcapRecord(1, 2, canPacket(0x123, "\1"), false);
        const QByteArray blfOk = blfHeader() + blfContainer(blfCanMessage(1, 0x123, "\1", 1000), 2);
        QTest::newRow("candump: a line of garbage")
            << QByteArray("(1.0) can0 123#11\n(2.0) can0 12X#11\n") << "bad:2: expected a hexadecimal identifier";
        QTest::newRow("ASC: data bytes missing")
            << QByteArray("base hex  timestamps absolute\n 1.000 1  123  Rx d 4 11 22\n") << "bad:2: expected 4 data bytes";
        QTest::newRow("ASC: a date that is none") << QByteArray("date yesterday\n") << "bad:1: expected a date";
        QTest::newRow("TRC: unknown version") << QByteArray(";$FILEVERSION=3.0\n") << "bad:1: TRC version 3.0";
        QTest::newRow("TRC: identifier of garbage")
            << QByteArray(";$FILEVERSION=2.1\n 1 1.0 DT 1 XYZ Rx - 1 00\n") << "bad:2: expected an identifier";
        QTest::newRow("CSV: no header") << QByteArray("time,kind,id,dlc,data\nnonsense,t,1,1,00\n")
                                        << "bad:2: expected a time";
        QTest::newRow("candump: a line longer than the limit")
            << QByteArray("(1.0) can0 123#11\n(2.0) can0 123#") + QByteArray(100000, 'A') << "bad:2: read failed: a line longer than 65536 bytes";
        QTest::newRow("a text that is no log") << QByteArray("hello\n") << "bad: not a log format";
        QTest::newRow("empty") << QByteArray() << "bad: is empty";
        QTest::newRow("pcap: header cut short") << pcapOk.first(20) << "bad: byte 0: a pcap header cut short";
        QTest::newRow("pcap: record cut short") << pcapOk.first(pcapOk.size() - 3) << "bad: byte 24: a record of 16 bytes cut short";
        QTest::newRow("pcap: record header cut short") << pcapOk + "abc" << "bad: byte 56: a record header cut short";
        QTest::newRow("pcap: a length of 2^31")
            << pcapHeader(0xA1B2C3D4, 227, false) + le32(1) + le32(0) + le32(0x80000000u) + le32(16)
            << "bad: byte 24: a record length of 2147483648 bytes";
        QTest::newRow("pcap: not CAN") << pcapHeader(0xA1B2C3D4, 1, false) << "bad: byte 20: link type 1 carries no CAN";
        QTest::newRow("pcap: CAN data longer than 8")
            << pcapHeader(0xA1B2C3D4, 227, false) + pcapRecord(1, 0, be32(0x123) + char(9) + QByteArray(11, '\0'), false)
            << "bad: byte 24: a CAN frame of 9 data bytes";
        QTest::newRow("pcap: packet shorter than its header")
            << pcapHeader(0xA1B2C3D4, 227, false) + pcapRecord(1, 0, "\1\2\3", false) << "byte 24: a CAN packet of 3 bytes";
        QTest::newRow("pcapng: wrong byte-order magic")
            << pcapngBlock(0x0A0D0D0A, le32(0x12345678) + QByteArray(12, '\0')) << "bad: byte 8: not a pcapng file";
        QTest::newRow("pcapng: a length of 2^31")
            << pcapngSection() + le32(6) + le32(0x80000000u) << "a block length of 2147483648 bytes";
        QTest::newRow("pcapng: closing length lies")
            << pcapngSection() + le32(5) + le32(16) + le32(0) + le32(20) << "closing length differs";
        QTest::newRow("pcapng: packet longer than its block")
            << pcapngSection() + pcapngInterface(227, "c", 6)
                   + pcapngBlock(6, le32(0) + le32(0) + le32(0) + le32(1000) + le32(1000) + canPacket(1, ""))
            << "a packet of 1000 bytes in a block";
        QTest::newRow("pcapng: packet of an interface never described")
            << pcapngSection() + pcapngPacket(3, 0, canPacket(1, "")) << "interface 3, which no description names";
        QTest::newRow("pcapng: cut short") << (pcapngSection() + pcapngInterface(227, "c", 6)).chopped(2) << "cut short";
        QTest::newRow("BLF: wrong magic") << QByteArray("LOGX") + blfOk.mid(4) << "bad: not a log format";
        QTest::newRow("BLF: header lies about its length") << QByteArray("LOGG") + le32(0x7FFFFFFF) + QByteArray(200, '\0')
                                                           << "bad: byte 4: a BLF header length of 2147483647 bytes";
        QTest::newRow("BLF: header cut short") << blfHeader().first(100) << "a BLF header of 144 bytes cut short";
        QTest::newRow("BLF: object length of 2^31")
            << blfHeader() + "LOBJ" + le16(16) + le16(1) + le32(0x80000000u) + le32(10) << "byte 144: an object length of 2147483648";
        QTest::newRow("BLF: container inflates past its declared size")
            << blfHeader() + blfContainer(blfCanMessage(1, 0x123, "\1", 1000), 2, 10) << "inflates past its declared 10 bytes";
        QTest::newRow("BLF: container declares 2^31 bytes")
            << blfHeader() + blfContainer(blfCanMessage(1, 0x123, "\1", 1000), 2, int(0x7FFFFFFF)) << "above the limit";
        QTest::newRow("BLF: broken compressed data")
            << blfHeader() + blfContainer(QByteArray(64, 'x'), 0).replace(16, 2, le16(2)) << "compressed data is broken";
        QTest::newRow("BLF: object cut short") << blfOk.chopped(8) << "bad: byte 144: an object of";
        QTest::newRow("BLF: an object's length below its header")
            << blfHeader() + blfContainer("LOBJ" + le16(32) + le16(1) + le32(8) + le32(1) + QByteArray(16, '\0'), 0)
            << "an object length of 8 bytes inside the container";
        QTest::newRow("BLF: CAN message body short")
            << blfHeader() + blfContainer(blfObject(1, QByteArray(4, '\0'), 0), 0) << "with a body of only 4 bytes";
    }

    void malformedLogsEndInANamedProblem()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, problem);
        const TReadResult r = readBytes(bytes, QStringLiteral("bad"));
        QVERIFY2(r.problem.contains(problem), qPrintable(r.problem));
    }

    // Long BLF logs: containers packed and unpacked on workers still come in the file's order,
    // byte for byte as packed one at a time; a problem in a later container, met while the
    // workers run ahead, comes after every frame before it; a reader dropped mid-way stops.
    void blfOfManyContainers_data()
    {
        QTest::addColumn<QString>("spoil");
        QTest::addColumn<int>("container"); // the container spoiled, or where reading stops
        QTest::addColumn<QString>("problem");
        QTest::newRow("read back whole, in order") << "" << -1 << "";
        QTest::newRow("the seventh container's compressed data broken") << "inflate" << 6 << "a log container";
        QTest::newRow("the seventh container's signature broken") << "signature" << 6 << "expected an object";
        QTest::newRow("cut short in the ninth container") << "cut" << 8 << "an object of";
        QTest::newRow("the first container broken") << "inflate" << 0 << "a log container";
        QTest::newRow("the reader dropped after the third container") << "drop" << 3 << "";
    }
    void blfOfManyContainers()
    {
        QFETCH(QString, spoil);
        QFETCH(int, container);
        QFETCH(QString, problem);
        constexpr int objectBytes = 48; // one classic frame
        QVector<TLogFrame> frames;
        QByteArray threaded = BlfHeader(startUs), oneByOne = threaded, text;
        TBlfPacker packer, serial;
        serial.SetWorkers(0);
        for (int i = 0; i < 25000; ++i) {
            TLogFrame f;
            f.Interface = "1";
            f.TimeUs = startUs + i * 100;
            f.Extended = i % 5 == 0;
            f.Id = uint32_t(i % 0x7FF);
            f.Dlc = uint8_t(i % 9);
            for (int b = 0; b < f.Dlc; ++b)
                f.Data += char(i * 7 + b);
            TFrameRow row;
            QVERIFY(LogFrameToRow(f, text, row, false));
            QVERIFY(packer.Append(threaded, row, startUs));
            QVERIFY(serial.Append(oneByOne, row, startUs));
            frames.append(f);
        }
        packer.Finish(threaded);
        serial.Finish(oneByOne);
        QCOMPARE(threaded.size(), oneByOne.size());
        QVERIFY(threaded == oneByOne);
        // Where each container begins.
        QVector<qsizetype> at;
        for (qsizetype pos = 144; pos + 16 <= threaded.size();) {
            at.append(pos);
            const uint32_t size = qFromLittleEndian<uint32_t>(threaded.constData() + pos + 8);
            pos += size + size % 4;
        }
        QVERIFY(at.size() >= 10);
        QByteArray bytes = threaded;
        if (spoil == QLatin1String("inflate"))
            bytes.replace(at[container] + 40, 200, QByteArray(200, '\xA5'));
        else if (spoil == QLatin1String("signature"))
            bytes.replace(at[container], 4, "XXXX");
        else if (spoil == QLatin1String("cut"))
            bytes.truncate(at[container] + 1000);
        // The frames whose objects lie whole in the containers before.
        const int before = container < 0 ? frames.size() : int(container * TBlfPacker::ContainerBytes / objectBytes);
        QString openProblem;
        auto reader = OpenLogBytes(bytes, QStringLiteral("many.blf"), openProblem);
        QVERIFY2(reader, qPrintable(openProblem));
        TLogFrame f;
        int read = 0;
        while ((spoil != QLatin1String("drop") || read < before) && reader->Next(f)) {
            f.Interface = "1";
            QCOMPARE(describe(f), describe(frames[read]));
            ++read;
        }
        QCOMPARE(read, before);
        if (spoil == QLatin1String("drop")) {
            reader.reset(); // the workers are still reading ahead: they stop, nothing hangs
            return;
        }
        if (problem.isEmpty()) {
            QVERIFY2(reader->Problem().isEmpty(), qPrintable(reader->Problem()));
            return;
        }
        QVERIFY2(reader->Problem().startsWith(QStringLiteral("many.blf: byte %1: %2").arg(at[container]).arg(problem)),
                 qPrintable(reader->Problem()));
    }

    // A recording at a few frames a second: a full container goes out with one of the next
    // frames once a worker has packed it, not after the containers behind it.
    void blfContainerLeavesSoonAfterItFills()
    {
        QByteArray out, text;
        TBlfPacker packer;
        TLogFrame f;
        f.Id = 0x123;
        f.Dlc = 8;
        f.Data = QByteArray(8, '\x5A');
        TFrameRow row;
        QVERIFY(LogFrameToRow(f, text, row, false));
        int frames = 0;
        while (qsizetype(frames + 1) * 48 < TBlfPacker::ContainerBytes) {
            QVERIFY(packer.Append(out, row, 0));
            ++frames;
        }
        QVERIFY(out.isEmpty());
        QVERIFY(packer.Append(out, row, 0)); // fills the first container
        ++frames;
        QTRY_VERIFY((packer.Append(out, row, 0), ++frames, !out.isEmpty()));
        QVERIFY(frames < 2 * int(TBlfPacker::ContainerBytes / 48));
        QVERIFY(out.startsWith("LOBJ"));
        QCOMPARE(qFromLittleEndian<uint32_t>(out.constData() + 24), uint32_t(TBlfPacker::ContainerBytes)); // unpacked size
        packer.Finish(out);
        const TReadResult r = readBytes(BlfHeader(0) + out, QStringLiteral("x.blf"));
        QVERIFY2(r.problem.isEmpty(), qPrintable(r.problem));
        QCOMPARE(int(r.frames.size()), frames);
    }

    void fifosAndDirectoriesAreRefusedUnopened()
    {
        const QString fifo = path("fifo.log");
        QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
        // Refused by the one way inputs are opened, which names the file: no read waits on it.
        QVERIFY(readFile(fifo).problem.startsWith(fifo + QStringLiteral(" is a FIFO")));
        QVERIFY(readFile(m_dir.path()).problem.contains(QStringLiteral("directory")));
        QVERIFY(readFile(path("missing.log")).problem.contains(path("missing.log")));
    }

    void theNameBreaksTiesOnly_data()
    {
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("kind");
        QTest::newRow("BLF named .log") << QByteArray("LOGG....") << "x.log" << "blf";
        QTest::newRow("pcapng named .pcap") << QByteArray("\x0A\x0D\x0D\x0A....", 8) << "x.pcap" << "pcapng";
        QTest::newRow("candump named .asc") << QByteArray("(1.0) can0 1#\n") << "x.asc" << "candump";
        QTest::newRow("ASC named .txt") << QByteArray("// a comment\ndate x\n") << "x.txt" << "asc";
        QTest::newRow("TRC 1.1 without header") << QByteArray("   1)  1.0 Rx 0100 0\n") << "x" << "trc";
        QTest::newRow("unclear text, .asc") << QByteArray("   0.000 1  123 Rx d 0\n") << "x.asc" << "asc";
        QTest::newRow("candump after a comment") << QByteArray("# x\n(1.0) can0 1#\n") << "x" << "candump";
    }

    void theNameBreaksTiesOnly()
    {
        QFETCH(QByteArray, head);
        QFETCH(QString, name);
        QFETCH(QString, kind);
        TLogKind k = TLogKind::Csv;
        QVERIFY(DetectLogKind(head, name, k));
        QCOMPARE(QString::fromLatin1(LogKindName(k)), kind);
    }
};

QTEST_GUILESS_MAIN(TstLogs)
#include "tst_logs.moc"
