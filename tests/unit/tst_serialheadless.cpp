// The port component in a program without windows, as a command-line tool uses it: this test
// links the serial layer and Qt Core only, so a dependency on the window layer fails its build.

#include "serial/QCCom32.h"

#include <QCoreApplication>
#include <QtTest>

#include <cstdlib>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

class TstSerialHeadless : public QObject {
    Q_OBJECT

private slots:
    void exchangesALineAndReportsThroughItsOwner()
    {
        QVERIFY(!QCoreApplication::instance()->inherits("QGuiApplication"));
        const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        QVERIFY(master >= 0);
        QVERIFY(::grantpt(master) == 0 && ::unlockpt(master) == 0);
        termios tio{};
        QCOMPARE(::tcgetattr(master, &tio), 0);
        ::cfmakeraw(&tio);
        QCOMPARE(::tcsetattr(master, TCSANOW, &tio), 0);

        QList<TPortReport> reports;
        TQCCom32 com;
        com.OnReport = [&](TPortReport report, const QString &) {
            reports.append(report);
            return paAbort;
        };
        com.setDevicePath(QString::fromLocal8Bit(::ptsname(master)));
        com.setEndOfResponse(QStringLiteral("#13"));
        com.setResponseTime(2000);
        com.setAllowEvents(true);
        QVERIFY(com.Open());
        QVERIFY(com.SendCommand("#A\r"));
        char got[3] = {};
        for (int i = 0; i < 200 && ::read(master, got, 3) != 3; ++i)
            QTest::qWait(5);
        QCOMPARE(QByteArray(got, 3), QByteArray("#A\r"));
        QCOMPARE(::write(master, "!R2.05\r", 7), ssize_t(7));
        QCOMPARE(com.ReadResponse(), QByteArray("!R2.05\r"));

        com.setResponseTime(10);
        QVERIFY(com.ReadResponse().isEmpty());
        QCOMPARE(reports, QList<TPortReport>{prTimeout});
        com.Close();
        ::close(master);
    }
};

QTEST_GUILESS_MAIN(TstSerialHeadless)
#include "tst_serialheadless.moc"
