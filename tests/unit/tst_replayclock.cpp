#include <QTest>
class TestReplayClock : public QObject { Q_OBJECT };
QTEST_GUILESS_MAIN(TestReplayClock)
#include "tst_replayclock.moc"
