#pragma once
// Answers modal windows from a queued timer: waits until a modal widget of the wanted class is
// active, then runs the given action on it (fill it in, press its button).

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>

template <typename W>
void WhenModal(std::function<void(W *)> action, int timeoutMs = 5000)
{
    auto *timer = new QTimer(qApp); // owned by the application, so a watcher that never fires is freed too
    auto elapsed = std::make_shared<int>(0);
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, action, elapsed, timeoutMs] {
        *elapsed += 5;
        if (auto *w = qobject_cast<W *>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            action(w);
            return;
        }
        if (*elapsed > timeoutMs) {
            timer->stop();
            timer->deleteLater();
            qWarning("WhenModal: no modal window appeared");
        }
    });
    timer->start();
}
