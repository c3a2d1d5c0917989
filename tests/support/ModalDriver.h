#pragma once
// Answers modal windows from a queued timer: waits until a modal widget of the wanted class is
// active, then runs the given action on it (fill it in, press its button). A window that never
// comes fails the running test by itself (a benchmark, running none, is warned).

#include <QApplication>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>

// Fails the test function that is running, or warns when none is (a benchmark).
inline void FailRunningTest(const char *message, const char *file, int line)
{
    if (QTest::currentTestFunction())
        QTest::qFail(message, file, line);
    else
        qWarning("%s", message);
}

// With `ready`, the action waits for it too, and runs anyway once timeoutMs have passed (the
// test's checks then tell what did not come).
template <typename W>
void WhenModal(std::function<void(W *)> action, int timeoutMs = 5000, std::function<bool()> ready = {})
{
    auto *timer = new QTimer(qApp); // owned by the application, so a watcher that never fires is freed too
    auto elapsed = std::make_shared<int>(0);
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, action, elapsed, timeoutMs, ready] {
        *elapsed += 5;
        auto *w = qobject_cast<W *>(QApplication::activeModalWidget());
        if (w && (!ready || ready() || *elapsed > timeoutMs)) {
            timer->stop();
            timer->deleteLater();
            action(w);
            return;
        }
        if (*elapsed > timeoutMs) {
            timer->stop();
            timer->deleteLater();
            FailRunningTest("WhenModal: no modal window appeared", __FILE__, __LINE__);
        }
    });
    timer->start();
}
