#include "common/StrToInt.h"
#include "protocol/Framing.h"
#include "protocol/MessageLine.h"

#include <QTest>

namespace {

TComposerFields fields(const QString &mode, const QString &rtr, const QString &id, const QString &dlc,
                       std::initializer_list<int32_t> data = {})
{
    TComposerFields f;
    f.ModeText = mode;
    f.RtrText = rtr;
    f.IdText = id;
    f.DlcText = dlc;
    int k = 0;
    for (int32_t d : data)
        f.Data[k++] = d;
    return f;
}

} // namespace

class TestMessageLine : public QObject {
    Q_OBJECT

private slots:
    void workedLines_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("rtr");
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("dlc");
        QTest::addColumn<QList<int>>("data");
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("checksummed");
        QTest::newRow("standard data") << "0" << "0" << "123" << "2" << QList<int>{0x11, 0xAB} << "t123211AB" << "t123211AB21";
        QTest::newRow("standard remote") << "0" << "1" << "7FF" << "0" << QList<int>{} << "T7FF0" << "T7FF047";
        QTest::newRow("extended data") << "1" << "0" << "00000123" << "2" << QList<int>{0xA5, 0xFF} << "e000001232A5FF" << "e000001232A5FF1F";
        QTest::newRow("extended remote") << "1" << "1" << "00000123" << "8" << QList<int>{1, 2, 3} << "E000001238" << "E00000123803";
        QTest::newRow("short id padded") << "0" << "0" << "5" << "1" << QList<int>{5} << "t005105" << "";
    }
    void workedLines()
    {
        QFETCH(QString, mode);
        QFETCH(QString, rtr);
        QFETCH(QString, id);
        QFETCH(QString, dlc);
        QFETCH(QList<int>, data);
        QFETCH(QString, line);
        QFETCH(QString, checksummed);
        TComposerFields f = fields(mode, rtr, id, dlc);
        for (int k = 0; k < data.size(); ++k)
            f.Data[k] = data[k];
        const QString composed = ComposeMessageLine(f);
        QCOMPARE(composed, line);
        if (!checksummed.isEmpty())
            QCOMPARE(Framing::FrameLine(composed.toLatin1(), true), checksummed.toLatin1() + "\r");
    }

    void edgeCases()
    {
        // empty data field inside the DLC contributes 00 (its value is 0)
        QCOMPARE(ComposeMessageLine(fields("0", "0", "1", "3", {0x10, 0, 0x30})), QStringLiteral("t0013100030"));
        // identifiers are not checked against the frame's range
        QCOMPARE(ComposeMessageLine(fields("0", "0", "FFF", "0")), QStringLiteral("tFFF0"));
        QCOMPARE(ComposeMessageLine(fields("1", "0", "FFFFFFFF", "0")), QStringLiteral("eFFFFFFFF0"));
        // an empty MODE composes an extended line
        QCOMPARE(ComposeMessageLine(fields("", "0", "123", "0")), QStringLiteral("e000001230"));
        // an empty RTR composes a remote line without data
        QCOMPARE(ComposeMessageLine(fields("0", "", "123", "2", {1, 2})), QStringLiteral("T1232"));
        // an empty DLC in a remote frame leaves the DLC out
        QCOMPARE(ComposeMessageLine(fields("0", "1", "123", "")), QStringLiteral("T123"));
        // DLC 0 in a data frame carries no data
        QCOMPARE(ComposeMessageLine(fields("0", "0", "123", "0", {1})), QStringLiteral("t1230"));
        // only D1 to D(DLC) are taken
        QCOMPARE(ComposeMessageLine(fields("0", "0", "123", "3", {1, 2, 3, 4, 5, 6, 7, 8})), QStringLiteral("t1233010203"));
    }

    void conversionErrors()
    {
        try {
            ComposeMessageLine(fields("0", "0", "", "1"));
            QFAIL("empty identifier accepted");
        } catch (const EConvertError &e) {
            QCOMPARE(e.message(), QStringLiteral("'$' is not a valid integer value"));
        }
        try {
            ComposeMessageLine(fields("0", "0", "12G", "1"));
            QFAIL("non-hex identifier accepted");
        } catch (const EConvertError &e) {
            QCOMPARE(e.message(), QStringLiteral("'$12G' is not a valid integer value"));
        }
        try {
            ComposeMessageLine(fields("0", "0", "123", ""));
            QFAIL("empty DLC accepted in a data frame");
        } catch (const EConvertError &e) {
            QCOMPARE(e.message(), QStringLiteral("'' is not a valid integer value"));
        }
    }
};

QTEST_APPLESS_MAIN(TestMessageLine)
#include "tst_messageline.moc"
