// CAN databases: the DBC reader, signal decoding and encoding, under a German locale so that
// "0.1" must not depend on it. The decoding table is cross-checked against python3-canmatrix.

#include "dbc/DbcDatabase.h"
#include "dbc/SignalCodec.h"
#include "support/BenchBus.h"

#include <QLocale>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <clocale>
#include <limits>

namespace {

const TDecodedSignal *findSignal(const QVector<TDecodedSignal> &decoded, const QString &name)
{
    for (const TDecodedSignal &d : decoded)
        if (d.Signal->Name == name)
            return &d;
    return nullptr;
}

enum TState { Present, Short, Absent };

// 24 bytes: a little-endian 64-bit run over bytes 0..8, a big-endian one over bytes 9..17
constexpr char Wide64Frame[] = "1032547698BADCFE0F" "0A" "11223344556677" "80" "000000000000";

} // namespace

class TestDbc : public QObject {
    Q_OBJECT

    TDbcDatabase m_bus;

private slots:
    void initTestCase()
    {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        if (!std::setlocale(LC_ALL, "de_DE.UTF-8"))
            qInfo("de_DE.UTF-8 is not installed; only Qt's locale is German");
        QString error;
        QVERIFY2(m_bus.LoadText(BenchBusDbc(), QStringLiteral("bench.dbc"), error), qPrintable(error));
    }

    // One row per hazard: the frame's bytes, one signal and what it must read.
    void decodes_data()
    {
        QTest::addColumn<uint>("id");
        QTest::addColumn<bool>("extended");
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<QString>("signal");
        QTest::addColumn<int>("state");
        QTest::addColumn<qint64>("raw");
        QTest::addColumn<quint64>("bits");
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("text");

        const QByteArray motor = "1C980246FB563412";
        QTest::newRow("big-endian 16 bits ending on a byte boundary") << 200u << false << motor << "Rpm" << int(Present) << qint64(7320) << quint64(0x1C98) << 1830.0 << "";
        QTest::newRow("big-endian signed 12 bits across two bytes") << 200u << false << motor << "Torque" << int(Present) << qint64(291) << quint64(0x123) << 145.5 << "";
        QTest::newRow("little-endian signed 7 bits with offset") << 200u << false << motor << "Coolant" << int(Present) << qint64(-5) << quint64(0x7B) << -45.0 << "";
        QTest::newRow("one bit") << 200u << false << motor << "Overheat" << int(Present) << qint64(1) << quint64(1) << 1.0 << "";
        QTest::newRow("little-endian 24 bits, factor 0.1") << 200u << false << motor << "Odometer" << int(Present) << qint64(1193046) << quint64(0x123456) << 119304.6 << "";
        QTest::newRow("big-endian signed, most negative") << 200u << false << QByteArray("0000100000000000") << "Torque" << int(Present) << qint64(-2048) << quint64(0x800) << -1024.0 << "";

        const QByteArray chassis = "002AF37BFA187CA0";
        const QByteArray wide64 = Wide64Frame;
        QTest::newRow("big-endian 24 bits over four bytes") << 416u << false << chassis << "Wide" << int(Present) << qint64(0xABCDEF) << quint64(0xABCDEF) << 11259375.0 << "";
        QTest::newRow("big-endian signed 5 bits inside a byte") << 416u << false << chassis << "Tilt" << int(Present) << qint64(-3) << quint64(0x1D) << -1.5 << "";
        QTest::newRow("little-endian signed 13 bits") << 416u << false << chassis << "Steer" << int(Present) << qint64(-1000) << quint64(0x1C18) << -100.0 << "";
        QTest::newRow("value text") << 416u << false << chassis << "Gear" << int(Present) << qint64(3) << quint64(3) << 3.0 << "Drive";
        QTest::newRow("big-endian nibble at the top") << 416u << false << chassis << "Counter" << int(Present) << qint64(10) << quint64(10) << 10.0 << "";

        QTest::newRow("extended identifier, unsigned 64 bits") << 0x18FEF100u << true << QByteArray("8877665544332211") << "Distance" << int(Present) << qint64(0x1122334455667788) << quint64(0x1122334455667788) << 1234605616436508552.0 << "";
        QTest::newRow("unsigned 64 bits, all ones") << 0x18FEF100u << true << QByteArray("FFFFFFFFFFFFFFFF") << "Distance" << int(Present) << qint64(-1) << ~quint64(0) << 18446744073709551615.0 << "";
        QTest::newRow("big-endian signed 64 bits") << 0x500u << false << QByteArray("FFFFFFFFFFFFFFFE") << "Nanos" << int(Present) << qint64(-2) << quint64(0xFFFFFFFFFFFFFFFE) << -2.0 << "";
        QTest::newRow("64 bits over nine bytes, little-endian") << 0x600u << false << wide64 << "SpanLe" << int(Present) << qint64(0xFFEDCBA987654321) << quint64(0xFFEDCBA987654321) << 18441619978133521185.0 << "";
        QTest::newRow("64 bits over nine bytes, big-endian") << 0x600u << false << wide64 << "SpanBe" << int(Present) << qint64(0xA112233445566778) << quint64(0xA112233445566778) << 11606377897095751544.0 << "";

        QTest::newRow("float32 with factor and offset") << 0x300u << false << QByteArray("0000C03FC0100000") << "Gain" << int(Present) << qint64(0) << quint64(0x3FC00000) << 4.0 << "";
        QTest::newRow("big-endian float32") << 0x300u << false << QByteArray("0000C03FC0100000") << "Level" << int(Present) << qint64(0) << quint64(0xC0100000) << -2.25 << "";
        QTest::newRow("float64") << 0x301u << false << QByteArray("182D4454FB210940") << "Pi" << int(Present) << qint64(0) << quint64(0x400921FB54442D18) << 3.141592653589793 << "";

        QTest::newRow("multiplexor with its text") << 0x7E8u << false << QByteArray("012C010000000007") << "Mode" << int(Present) << qint64(1) << quint64(1) << 1.0 << "Temperature";
        QTest::newRow("multiplexed, selected") << 0x7E8u << false << QByteArray("012C010000000007") << "Temp1" << int(Present) << qint64(300) << quint64(300) << 30.0 << "";
        QTest::newRow("multiplexed, other value") << 0x7E8u << false << QByteArray("012C010000000007") << "Volt" << int(Absent) << qint64(0) << quint64(0) << 0.0 << "";
        QTest::newRow("not multiplexed, always there") << 0x7E8u << false << QByteArray("012C010000000007") << "Alive" << int(Present) << qint64(7) << quint64(7) << 7.0 << "";
        QTest::newRow("second group, unsigned") << 0x7E8u << false << QByteArray("027DF60000000000") << "Volt" << int(Present) << qint64(125) << quint64(125) << 12.5 << "";
        QTest::newRow("second group, signed") << 0x7E8u << false << QByteArray("027DF60000000000") << "Amp" << int(Present) << qint64(-10) << quint64(0xF6) << -10.0 << "";
        QTest::newRow("second group leaves the first out") << 0x7E8u << false << QByteArray("027DF60000000000") << "Temp1" << int(Absent) << qint64(0) << quint64(0) << 0.0 << "";
        QTest::newRow("no group for 3") << 0x7E8u << false << QByteArray("037DF60000000000") << "Amp" << int(Absent) << qint64(0) << quint64(0) << 0.0 << "";

        QTest::newRow("short frame: signal inside") << 200u << false << QByteArray("1C9802") << "Rpm" << int(Present) << qint64(7320) << quint64(0x1C98) << 1830.0 << "";
        QTest::newRow("short frame: signal half inside") << 200u << false << QByteArray("1C9802") << "Torque" << int(Short) << qint64(0) << quint64(0) << 0.0 << "";
        QTest::newRow("short frame: signal beyond") << 200u << false << QByteArray("1C9802") << "Odometer" << int(Short) << qint64(0) << quint64(0) << 0.0 << "";
        QTest::newRow("short frame: big-endian run ends in the last byte") << 416u << false << QByteArray("002AF37BFA") << "Tilt" << int(Present) << qint64(-3) << quint64(0x1D) << -1.5 << "";
        QTest::newRow("short frame: multiplexor there, signal not") << 0x7E8u << false << QByteArray("01") << "Temp1" << int(Short) << qint64(0) << quint64(0) << 0.0 << "";
        QTest::newRow("empty frame: no multiplexor, no group") << 0x7E8u << false << QByteArray() << "Temp1" << int(Absent) << qint64(0) << quint64(0) << 0.0 << "";
        QTest::newRow("empty frame: multiplexor marked") << 0x7E8u << false << QByteArray() << "Mode" << int(Short) << qint64(0) << quint64(0) << 0.0 << "";
    }
    void decodes()
    {
        QFETCH(uint, id);
        QFETCH(bool, extended);
        QFETCH(QByteArray, frame);
        QFETCH(QString, signal);
        QFETCH(int, state);
        QFETCH(qint64, raw);
        QFETCH(quint64, bits);
        QFETCH(double, value);
        QFETCH(QString, text);

        const TDbcMessage *message = m_bus.Find(id, extended);
        QVERIFY(message);
        QVERIFY(!m_bus.Find(id, !extended));
        const QByteArray data = QByteArray::fromHex(frame);
        const QVector<TDecodedSignal> decoded = DecodeSignals(*message, reinterpret_cast<const uint8_t *>(data.constData()), int(data.size()));
        const TDecodedSignal *d = findSignal(decoded, signal);
        if (state == Absent) {
            QVERIFY(!d);
            return;
        }
        QVERIFY(d);
        QCOMPARE(d->Present, state == Present);
        if (state == Short)
            return;
        QCOMPARE(d->Raw, raw);
        QCOMPARE(d->RawBits, bits);
        QCOMPARE(d->Value, value);
        QCOMPARE(d->Text, text);
    }

    // Values in, bytes out; the bytes read back to the values. Refusals name signal and range.
    void encodes_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("values");
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<QString>("error");

        QTest::newRow("every hazard of Motor") << "Motor" << "Rpm=1830 Torque=145.5 Coolant=-45 Overheat=1 Odometer=119304.6" << QByteArray("1C980246FB563412") << "";
        QTest::newRow("big-endian runs and value text") << "Chassis" << "Wide=11259375 Tilt=-1.5 Steer=-100 Gear=3 Counter=10" << QByteArray("002AF37BFA187CA0") << "";
        QTest::newRow("most negative") << "Motor" << "Torque=-1024" << QByteArray("0000100000000000") << "";
        QTest::newRow("rounds to the nearest raw value up") << "Motor" << "Rpm=0.13" << QByteArray("0001000000000000") << "";
        QTest::newRow("rounds to the nearest raw value down") << "Motor" << "Rpm=0.12" << QByteArray("0000000000000000") << "";
        QTest::newRow("64 bits") << "Trip" << "Distance=1152921504606846976" << QByteArray("0000000000000010") << "";
        QTest::newRow("floats") << "Floats" << "Gain=4 Level=-2.25" << QByteArray("0000C03FC0100000") << "";
        QTest::newRow("float64") << "Precise" << "Pi=3.141592653589793" << QByteArray("182D4454FB210940") << "";
        QTest::newRow("multiplexed group") << "Diag" << "Mode=2 Volt=12.5 Amp=-10" << QByteArray("027DF60000000000") << "";
        QTest::newRow("over the maximum") << "Motor" << "Rpm=16384" << QByteArray() << "Rpm: 16384 is outside its range [0, 16383.75]";
        QTest::newRow("under the minimum") << "Chassis" << "Tilt=-8.5" << QByteArray() << "Tilt: -8.5 is outside its range [-8, 7.5]";
        QTest::newRow("no range, too long for its bits") << "Chassis" << "Counter=16" << QByteArray() << "Counter: 16 does not fit its 4 bits (range [0, 15])";
        QTest::newRow("no range, negative for unsigned") << "Chassis" << "Counter=-1" << QByteArray() << "Counter: -1 does not fit its 4 bits (range [0, 15])";
        QTest::newRow("unknown signal") << "Motor" << "Speed=1" << QByteArray() << "Motor has no signal Speed";
        QTest::newRow("multiplexed signal of another group") << "Diag" << "Mode=1 Volt=3" << QByteArray() << "Volt is sent only with Mode = 2";
    }
    void encodes()
    {
        QFETCH(QString, message);
        QFETCH(QString, values);
        QFETCH(QByteArray, frame);
        QFETCH(QString, error);

        const TDbcMessage *m = m_bus.FindByName(message);
        QVERIFY(m);
        QHash<QString, double> physical;
        for (const QString &pair : values.split(' ', Qt::SkipEmptyParts))
            physical.insert(pair.section('=', 0, 0), pair.section('=', 1).toDouble());
        QByteArray data = "untouched";
        QString got;
        QCOMPARE(EncodeSignals(*m, physical, data, got), error.isEmpty());
        QCOMPARE(got, error);
        if (!error.isEmpty()) {
            QCOMPARE(data, QByteArray("untouched"));
            return;
        }
        QCOMPARE(data.toHex().toUpper(), frame);
        const QVector<TDecodedSignal> back = DecodeSignals(*m, reinterpret_cast<const uint8_t *>(data.constData()), int(data.size()));
        for (auto it = physical.cbegin(); it != physical.cend(); ++it) {
            const TDecodedSignal *d = findSignal(back, it.key());
            QVERIFY2(d && d->Present, qPrintable(it.key()));
            QVERIFY2(qAbs(d->Value - *it) <= d->Signal->Factor / 2 + 1e-9 * qAbs(*it), qPrintable(it.key()));
        }
    }

    // A message put together in code, without the reader's packed layout, decodes the same.
    void decodesAMessageBuiltByHand()
    {
        TDbcMessage chassis = *m_bus.FindByName("Chassis");
        chassis.Layout.clear();
        const QByteArray data = QByteArray::fromHex("002AF37BFA187CA0");
        const QVector<TDecodedSignal> decoded = DecodeSignals(chassis, reinterpret_cast<const uint8_t *>(data.constData()), int(data.size()));
        QCOMPARE(findSignal(decoded, "Gear")->Text, "Drive");
        QCOMPARE(findSignal(decoded, "Steer")->Value, -100.0);
        PrepareLayout(chassis);
        QCOMPARE(chassis.Layout.size(), chassis.Signals.size());
        for (qsizetype i = 0; i < chassis.Signals.size(); ++i) // only Gear has value texts
            QCOMPARE(chassis.Layout[i].HasTexts, chassis.Signals[i].Name == "Gear");
    }

    void insertsRawBitsAlone()
    {
        const TDbcMessage *m = m_bus.FindByName("Chassis");
        QByteArray data = QByteArray::fromHex("002AF37BFA187CA0");
        InsertRawBits(m->Signals[4], 5, reinterpret_cast<uint8_t *>(data.data()), int(data.size()));
        QCOMPARE(data.toHex().toUpper(), QByteArray("002AF37BFA187C50"));
    }

    // Its bits would have nowhere to go: refused rather than sent as zeros.
    void refusesASignalBeyondTheMessage()
    {
        TDbcDatabase db;
        QString error;
        QVERIFY(db.LoadText("BO_ 1 M: 2 A\n SG_ In : 0|8@1+ (1,0) [0|0] \"\" B\n SG_ Out : 16|8@1+ (1,0) [0|0] \"\" B\n", "s.dbc", error));
        QByteArray data;
        QVERIFY(EncodeSignals(*db.Find(1, false), {{"In", 5}}, data, error));
        QCOMPARE(data, QByteArray::fromHex("0500"));
        QVERIFY(!EncodeSignals(*db.Find(1, false), {{"Out", 5}}, data, error));
        QCOMPARE(error, "Out lies beyond the 2 byte(s) of M");
    }

    void readsTheOtherSections()
    {
        const TDbcMessage *motor = m_bus.FindByName("Motor");
        QVERIFY(motor);
        QCOMPARE(motor->Comment, "Engine controller");
        QCOMPARE(motor->Signals[0].Comment, "Crankshaft speed,\nover two lines with a \"quote\"");
        QCOMPARE(motor->CycleTimeMs, 10);
        QCOMPARE(m_bus.FindByName("Chassis")->CycleTimeMs, 100); // the attribute's default
        QCOMPARE(motor->Transmitter, "Bench");
        QCOMPARE(motor->Signals[0].Receivers, QStringList{"Gateway"});
        QCOMPARE(motor->Signals[2].Unit, "degC");
        QCOMPARE(motor->Signals[4].Factor, 0.1);
        QCOMPARE(m_bus.FindByName("Chassis")->Signals[3].ValueTexts.value(1), "Reverse");
        QCOMPARE(m_bus.FindByName("Wide64")->Dlc, 24);
        // Vector's holder of loose signals is no message
        QVERIFY(!m_bus.FindByName("VECTOR__INDEPENDENT_SIG_MSG"));
        QStringList names;
        for (const TDbcMessage *m : m_bus.Messages())
            names << m->Name;
        QCOMPARE(names, QStringList({"Chassis", "Diag", "Floats", "Motor", "Precise", "Stamp", "Trip", "Wide64"}));
    }

    void parseErrors_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("error");
        const QByteArray bo = "BO_ 100 M: 8 X\n";
        QTest::newRow("byte order") << bo + " SG_ S : 0|8@2+ (1,0) [0|0] \"\" X\n" << "t.dbc:2:14: expected byte order 0 (big-endian) or 1 (little-endian), found '2'";
        QTest::newRow("decimal comma") << bo + " SG_ S : 0|8@1+ (0,1,0) [0|0] \"\" X\n" << "t.dbc:2:21: expected ')', found ','";
        QTest::newRow("length 0") << bo + " SG_ S : 0|0@1+ (1,0) [0|0] \"\" X\n" << "t.dbc:2:12: expected a length from 1 to 64 bits, found '0'";
        QTest::newRow("sign") << bo + " SG_ S : 0|8@1 (1,0) [0|0] \"\" X\n" << "t.dbc:2:16: expected '+' (unsigned) or '-' (signed), found '('";
        QTest::newRow("string never closed") << QByteArray("VERSION \"1.0\nBO_ 1 A: 8 X\n") << "t.dbc:1:9: expected a closing '\"' for the string that begins here";
        QTest::newRow("identifier twice") << QByteArray("BO_ 100 A: 8 X\nBO_ 100 B: 8 X\n") << "t.dbc:2:5: message identifier 0x64 is defined twice (first on line 1)";
        QTest::newRow("message name twice") << QByteArray("BO_ 100 A: 8 X\nBO_ 101 A: 8 X\n") << "t.dbc:2:5: message name A is defined twice (first on line 1)";
        QTest::newRow("signal twice") << bo + " SG_ A : 0|8@1+ (1,0) [0|0] \"\" X\n SG_ A : 8|8@1+ (1,0) [0|0] \"\" X\n" << "t.dbc:3:6: signal A is defined twice in message M";
        QTest::newRow("standard identifier too large") << QByteArray("BO_ 2048 A: 8 X\n") << "t.dbc:1:5: expected a standard identifier up to 2047 (0x7FF), or bit 31 set for an extended one; found 2048";
        QTest::newRow("DLC too large") << QByteArray("BO_ 1 A: 65 X\n") << "t.dbc:1:10: expected a message length from 0 to 64 bytes, found '65'";
        QTest::newRow("signal before any message") << QByteArray("BU_: X\n SG_ S : 0|8@1+ (1,0) [0|0] \"\" X\n") << "t.dbc:2:2: expected a BO_ message before its signal SG_";
        QTest::newRow("empty file") << QByteArray() << "t.dbc: not a CAN database";
        QTest::newRow("a candump log") << QByteArray("(1.000000) can0 123#11\n(1.000100) can0 1F334455#\n") << "t.dbc: not a CAN database";
        QTest::newRow("binary") << QByteArray("\x7F" "ELF\x02\x01\x01\0\0\0BO_x\0\xFF\xFE", 18) << "t.dbc: not a CAN database";
        QTest::newRow("keyword only inside a word") << QByteArray("XBO_ 1 A: 8 X\nMY_VERSION 2\n") << "t.dbc: not a CAN database";
        QTest::newRow("range ending at the lowest integer") << bo + " SG_ Mx M : 0|8@1+ (1,0) [0|0] \"\" X\n SG_ A m1 : 8|8@1+ (1,0) [0|0] \"\" X\nSG_MUL_VAL_ 100 A Mx 1-9223372036854775808;\n"
                                                             << "t.dbc:4:23: expected the end of the range, found '-9223372036854775808'";
        QTest::newRow("big-endian run past the data") << QByteArray("BO_ 100 M: 64 X\n SG_ A : 504|16@0+ (1,0) [0|0] \"\" X\n") << "t.dbc:2:10: signal A runs past the 64th byte";
        QTest::newRow("value texts without ';'") << bo + " SG_ S : 0|8@1+ (1,0) [0|0] \"\" X\nVAL_ 100 S 0 \"Off\" 1 \"On\"\nBA_DEF_ \"A\" INT 0 1;\n" << "t.dbc:4:1: expected an integer value or ';', found 'BA_DEF_'";
        QTest::newRow("float on 16 bits") << bo + " SG_ S : 0|16@1- (1,0) [0|0] \"\" X\nSIG_VALTYPE_ 100 S : 1;\n" << "t.dbc:3:22: expected a 32-bit signal for a 32-bit float, but S has 16 bits";
        QTest::newRow("extended multiplexing, range") << bo + " SG_ Mx M : 0|8@1+ (1,0) [0|0] \"\" X\n SG_ A m1 : 8|8@1+ (1,0) [0|0] \"\" X\nSG_MUL_VAL_ 100 A Mx 1-3;\n"
                                                       << "t.dbc:4:1: extended multiplexing of A in M is not supported: only one multiplexor and one value per signal (its mN) can be read";
        QTest::newRow("multiplexed multiplexor") << bo + " SG_ A m1M : 8|8@1+ (1,0) [0|0] \"\" X\n" << "t.dbc:2:8: a multiplexed multiplexor (m1M) is extended multiplexing, which is not supported";
        QTest::newRow("no multiplexor") << bo + " SG_ A m1 : 8|8@1+ (1,0) [0|0] \"\" X\n" << "t.dbc:1:1: message M has multiplexed signals (mN) but no multiplexor (M)";
        QTest::newRow("two multiplexors") << bo + " SG_ A M : 0|8@1+ (1,0) [0|0] \"\" X\n SG_ B M : 8|8@1+ (1,0) [0|0] \"\" X\n" << "t.dbc:1:1: message M has 2 multiplexor signals (M); extended multiplexing is not supported";
        QTest::newRow("column counts characters") << bo + "CM_ BO_ 100 \"\xC3\x96lstand\" x;\n" << "t.dbc:2:23: expected ';', found 'x'";
        QTest::newRow("bad number") << bo + " SG_ S : 0|8@1+ (1,0) [0|1e] \"\" X\n" << "t.dbc:2:26: expected a maximum, found '1e'";
    }
    void parseErrors()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, error);
        TDbcDatabase db;
        QString got;
        QVERIFY(!db.LoadText(text, QStringLiteral("t.dbc"), got));
        QCOMPARE(got, error);
        QVERIFY(db.IsEmpty());
        QVERIFY(db.Files().isEmpty());
        QVERIFY(!db.Find(100, false));
    }

    // Files other tools write and read, each with a signal that must come out as written.
    void readsValidVariants_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("signal");
        QTest::addColumn<double>("minimum");
        QTest::addColumn<QStringList>("receivers");
        const QByteArray sg = " SG_ S : 0|8@1+ (1,0) [0|255] \"\" A,B\n";
        QTest::newRow("NS_ list not indented")
            << QByteArray("VERSION \"\"\n\nNS_ :\nNS_DESC_\nCM_\nBA_DEF_\nVAL_\n\nBS_:\n\nBU_: A B\nBO_ 1 M: 8 A\n") + sg << "S" << 0.0 << QStringList{"A", "B"};
        QTest::newRow("NS_ list not indented, no BS_")
            << QByteArray("NS_ :\nCM_\nVAL_\nBU_: A B\nBO_ 1 M: 8 A\n") + sg << "S" << 0.0 << QStringList{"A", "B"};
        QTest::newRow("CR-only line ends")
            << QByteArray("VERSION \"\"\rNS_ :\r\tCM_\rBS_:\rBU_: A B\rBO_ 1 M: 8 A\r SG_ S : 0|8@1+ (1,0) [0|255] \"\" A,B\r SG_ T : 8|8@1+ (1,0) [0|0] \"\" B\rCM_ SG_ 1 S \"x\";\r")
            << "S" << 0.0 << QStringList{"A", "B"};
        QTest::newRow("CR LF line ends")
            << QByteArray("BU_: A B\r\nBO_ 1 M: 8 A\r\n SG_ S : 0|8@1+ (1,0) [0|255] \"\" A,B\r\n SG_ T : 8|8@1+ (1,0) [0|0] \"\" B\r\n")
            << "S" << 0.0 << QStringList{"A", "B"};
        QTest::newRow("the double's limits rounded past them")
            << QByteArray("BO_ 1 M: 8 A\n SG_ S : 0|64@1- (1,0) [-1.79769313486232E+308|1.79769313486232E+308] \"\" A,B\n")
            << "S" << -std::numeric_limits<double>::max() << QStringList{"A", "B"};
    }
    void readsValidVariants()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, signal);
        QFETCH(double, minimum);
        QFETCH(QStringList, receivers);
        TDbcDatabase db;
        QString error, warning;
        QVERIFY2(db.LoadText(text, QStringLiteral("v.dbc"), error, &warning), qPrintable(error));
        QVERIFY(warning.isEmpty());
        const TDbcMessage *m = db.FindByName("M");
        QVERIFY(m);
        QCOMPARE(m->Signals[0].Name, signal);
        QCOMPARE(m->Signals[0].Minimum, minimum);
        QCOMPARE(m->Signals[0].Receivers, receivers);
    }

    // Receiver lists and value texts written alike are kept once; ones that differ stay apart.
    void sharesWhatIsWrittenAlike_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QStringList>("receivers"); // of T
        QTest::addColumn<QString>("texts");         // of T: value=text;...
        QTest::addColumn<bool>("shared");           // S's and T's value texts one map
        const QByteArray bo = "BU_: A B\nBO_ 1 M: 8 A\n SG_ S : 0|8@1+ (1,0) [0|0] \"\" A,B\n SG_ T : 8|8@1- (1,0) [0|0] \"\" ";
        QTest::newRow("alike") << bo + "A,B\nVAL_ 1 S 0 \"Off\" 1 \"On\" ;\nVAL_ 1 T 0 \"Off\" 1 \"On\" ;\n"
                               << QStringList{"A", "B"} << "0=Off;1=On" << true;
        QTest::newRow("another order") << bo + "B,A\nVAL_ 1 S 0 \"Off\" 1 \"On\" ;\nVAL_ 1 T 1 \"On\" 0 \"Off\" ;\n"
                                       << QStringList{"B", "A"} << "0=Off;1=On" << false;
        QTest::newRow("one text differs") << bo + "B\nVAL_ 1 S 0 \"Off\" 1 \"On\" ;\nVAL_ 1 T 0 \"Off\" 1 \"ON\" ;\n"
                                          << QStringList{"B"} << "0=Off;1=ON" << false;
        QTest::newRow("one value differs") << bo + "A , B\nVAL_ 1 S 0 \"Off\" 1 \"On\" ;\nVAL_ 1 T 0 \"Off\" -1 \"On\" ;\n"
                                           << QStringList{"A", "B"} << "-1=On;0=Off" << false;
        QTest::newRow("a value table and its copy") << "VAL_TABLE_ Switch 0 \"Off\" 1 \"On\" ;\n" + bo
                                                           + "A\nVAL_ 1 S Switch ;\nVAL_ 1 T Switch ;\n"
                                                    << QStringList{"A"} << "0=Off;1=On" << true;
    }
    void sharesWhatIsWrittenAlike()
    {
        QFETCH(QByteArray, text);
        QFETCH(QStringList, receivers);
        QFETCH(QString, texts);
        QFETCH(bool, shared);
        TDbcDatabase db;
        QString error;
        QVERIFY2(db.LoadText(text, QStringLiteral("s.dbc"), error), qPrintable(error));
        const TDbcMessage *m = db.FindByName("M");
        QVERIFY(m);
        const TDbcSignal &s = m->Signals[0], &t = m->Signals[1];
        QCOMPARE(s.Receivers, QStringList({"A", "B"}));
        QCOMPARE(t.Receivers, receivers);
        QStringList pairs;
        for (auto it = t.ValueTexts.cbegin(); it != t.ValueTexts.cend(); ++it)
            pairs << QStringLiteral("%1=%2").arg(it.key()).arg(it.value());
        QCOMPARE(pairs.join(';'), texts);
        QCOMPARE(s.ValueTexts.cbegin() == t.ValueTexts.cbegin(), shared);
        // Each signal's own texts when decoded, the shared map or not.
        const uint8_t data[2] = {1, 0xFF};
        const QVector<TDecodedSignal> decoded = DecodeSignals(*m, data, 2);
        QCOMPARE(decoded[0].Text, QStringLiteral("On"));
        QCOMPARE(decoded[1].Text, t.ValueTexts.value(-1));
    }

    void loadsADatabaseWithoutMessagesWithAWarning()
    {
        TDbcDatabase db;
        QString error, warning;
        QVERIFY2(db.LoadText("VERSION \"\"\nNS_ :\n\tCM_\nBS_:\nBU_:\n", "n.dbc", error, &warning), qPrintable(error));
        QCOMPARE(warning, "n.dbc: no messages in this database");
        QCOMPARE(db.Files(), QStringList{"n.dbc"});
    }

    // One file under two names is one file: given twice, it is loaded once, not a duplicate.
    void sameFileUnderAnotherNameIsTheSameFile()
    {
        QTemporaryDir dir;
        QFile f(dir.filePath("s.dbc"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("BO_ 100 Engine: 8 A\n");
        f.close();
        TDbcDatabase db;
        QString error;
        QVERIFY2(db.LoadFile(dir.filePath("s.dbc"), error), qPrintable(error));
        QVERIFY2(db.LoadFile(dir.path() + "/./s.dbc", error), qPrintable(error));
        QCOMPARE(db.Files().size(), 1);
        QVERIFY(db.Find(100, false));
        QVERIFY(!db.LoadFile(dir.path(), error)); // a directory, refused by name
        QVERIFY2(error.contains("directory"), qPrintable(error));
    }

    void skipsWhatItDoesNotKnow()
    {
        TDbcDatabase db;
        QString error;
        const QByteArray text = "VERSION \"\"\nBS_: 500 : 12,34\nBU_: A B\nSGTYPE_ Odd : 8@1+ (1,0) [0|0] \"\" 0 ;\n"
                                "FUTURE_THING_ whatever \"multi\nline\" 1 2\n  3 4\nBO_ 5 M: 1 A\n SG_ S : 0|8@1+ (1,0) [0|0] \"\" B\n"
                                "BA_DEF_REL_ BU_SG_REL_ \"X\" INT 0 1;\nCM_ EV_ E \"c\";\nVAL_ EnvVar 1 \"a\" ;\n";
        QVERIFY2(db.LoadText(text, QStringLiteral("odd.dbc"), error), qPrintable(error));
        QVERIFY(db.Find(5, false));
        QCOMPARE(db.Find(5, false)->CycleTimeMs, -1);
    }

    void readsWindows1252AndUtf8()
    {
        TDbcDatabase latin, utf8;
        QString error;
        QVERIFY2(latin.LoadText("BO_ 1 M: 1 A\n SG_ S : 0|8@1+ (1,0) [0|0] \"\xB0" "C \x80\" B\n", "w.dbc", error), qPrintable(error));
        QCOMPARE(latin.Find(1, false)->Signals[0].Unit, QString::fromUtf8("\xC2\xB0" "C \xE2\x82\xAC"));
        TDbcDatabase cut; // a UTF-8 lead byte with nothing after it at the end: no UTF-8 either
        QVERIFY2(cut.LoadText("BO_ 1 M: 1 A\n SG_ S : 0|8@1+ (1,0) [0|0] \"\xC3\xA9\" B\n\xC3", "c.dbc", error), qPrintable(error));
        QCOMPARE(cut.Find(1, false)->Signals[0].Unit, QString::fromUtf8("\xC3\x83\xC2\xA9"));
        QVERIFY2(utf8.LoadText("\xEF\xBB\xBF" "BO_ 1 M: 1 A\n SG_ S : 0|8@1+ (1,0) [0|0] \"\xC2\xB0" "C\" B\n", "u.dbc", error), qPrintable(error));
        QCOMPARE(utf8.Find(1, false)->Signals[0].Unit, QString::fromUtf8("\xC2\xB0" "C"));
    }

    void loadsSeveralFilesAndReportsDuplicates()
    {
        TDbcDatabase db;
        QString error;
        QVERIFY(db.LoadText("BO_ 100 Engine: 8 A\n", "powertrain.dbc", error));
        QVERIFY(db.LoadText("BO_ 200 Door: 8 A\n", "body.dbc", error));
        QCOMPARE(db.Files(), QStringList({"powertrain.dbc", "body.dbc"}));
        QVERIFY(!db.LoadText("BO_ 300 Seat: 8 A\nBO_ 100 Mirror: 8 A\n", "comfort.dbc", error));
        QCOMPARE(error, "comfort.dbc:2:1: message identifier 0x64 (Mirror) is already defined in powertrain.dbc (Engine)");
        QVERIFY(!db.Find(300, false)); // nothing of the file with the error
        QCOMPARE(db.Files().size(), 2);
        QVERIFY(db.LoadText("BO_ 100 Engine: 4 A\n", "powertrain.dbc", error)); // loading again replaces
        QCOMPARE(db.Find(100, false)->Dlc, 4);
        QCOMPARE(db.Files().size(), 2);
        db.RemoveFile("powertrain.dbc");
        QVERIFY(!db.Find(100, false));
        QVERIFY(db.FindByName("Door"));
        db.Clear();
        QVERIFY(db.IsEmpty());
        QVERIFY(!db.LoadFile("/nonexistent/x.dbc", error));
        QVERIFY(error.startsWith("cannot read /nonexistent/x.dbc: No such file"));
    }

    // python3-canmatrix decodes every full-length frame of the table from the same file.
    void agreesWithCanmatrix()
    {
        const QString script = QStringLiteral(K3316_TESTS_DIR "/support/dbc_canmatrix.py");
        QTemporaryDir dir;
        QFile dbc(dir.filePath("bench.dbc"));
        QVERIFY(dbc.open(QIODevice::WriteOnly));
        dbc.write(BenchBusDbc());
        dbc.close();

        QByteArray frames;
        QHash<QString, double> ours;
        // the full-length frames of the decoding table
        const QVector<QPair<uint, QByteArray>> table = {
            {200, "1C980246FB563412"}, {200, "0000100000000000"}, {416, "002AF37BFA187CA0"},
            {0x80000000u | 0x18FEF100u, "8877665544332211"}, {0x80000000u | 0x18FEF100u, "FFFFFFFFFFFFFFFF"},
            {0x500, "FFFFFFFFFFFFFFFE"}, {0x600, Wide64Frame},
            {0x300, "0000C03FC0100000"}, {0x301, "182D4454FB210940"},
            {0x7E8, "012C010000000007"}, {0x7E8, "027DF60000000000"}, {0x7E8, "037DF60000000000"}};
        for (const auto &[rawId, hex] : table) {
            const QByteArray data = QByteArray::fromHex(hex);
            const TDbcMessage *m = m_bus.Find(rawId & 0x7FFFFFFF, rawId & 0x80000000u);
            QVERIFY(m);
            const QByteArray full = data.leftJustified(m->Dlc, '\0');
            frames += QByteArray::number(rawId) + ' ' + full.toHex() + '\n';
            for (const TDecodedSignal &d : DecodeSignals(*m, reinterpret_cast<const uint8_t *>(full.constData()), int(full.size())))
                ours.insert(QString::number(rawId) + ' ' + full.toHex() + ' ' + d.Signal->Name, d.Value);
        }
        QProcess python;
        python.start(QStringLiteral("/usr/bin/python3"), {script, dbc.fileName()});
        QVERIFY(python.waitForStarted());
        python.write(frames);
        python.closeWriteChannel();
        QVERIFY(python.waitForFinished(60000));
        QVERIFY2(python.exitCode() == 0, python.readAllStandardError().constData());
        QHash<QString, double> theirs;
        for (const QByteArray &line : python.readAllStandardOutput().split('\n')) {
            const QList<QByteArray> parts = line.split(' ');
            if (parts.size() == 4)
                theirs.insert(QString::fromUtf8(parts[0] + ' ' + parts[1] + ' ' + parts[2]), parts[3].toDouble());
        }
        QVERIFY(ours.size() >= 25);
        QCOMPARE(theirs.size(), ours.size());
        for (auto it = ours.cbegin(); it != ours.cend(); ++it) {
            QVERIFY2(theirs.contains(it.key()), qPrintable(it.key()));
            const double a = *it, b = theirs.value(it.key());
            QVERIFY2(qAbs(a - b) <= 1e-9 * qMax(1.0, qAbs(a)), qPrintable(QStringLiteral("%1: ours %2, canmatrix %3").arg(it.key()).arg(a, 0, 'g', 17).arg(b, 0, 'g', 17)));
        }
    }
};

QTEST_GUILESS_MAIN(TestDbc)
#include "tst_dbc.moc"
