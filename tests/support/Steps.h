#pragma once
// Drives a test from a timer, step by step, so it keeps going while the program under test runs
// a nested loop (the receive loop keeps the connect handler on the stack until disconnect).

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>
#include <vector>

class Steps : public QObject {
public:
    explicit Steps(QObject *parent = nullptr) : QObject(parent)
    {
        m_timer.setInterval(5);
        connect(&m_timer, &QTimer::timeout, this, [this] { tick(); });
    }

    // Waits until `condition` holds (gives up after timeoutMs and records `what`).
    Steps &waitUntil(std::function<bool()> condition, const QString &what, int timeoutMs = 10000)
    {
        m_steps.push_back({std::move(condition), nullptr, what, timeoutMs});
        return *this;
    }
    // Lets the program run for `ms` milliseconds (the loops below keep going meanwhile).
    Steps &pause(int ms)
    {
        auto started = std::make_shared<QElapsedTimer>();
        return waitUntil([started, ms] {
            if (!started->isValid())
                started->start();
            return started->elapsed() >= ms;
        }, QStringLiteral("pause"), ms + 10000);
    }
    Steps &then(std::function<void()> action)
    {
        m_steps.push_back({nullptr, std::move(action), QString(), 0});
        return *this;
    }
    void start() { m_timer.start(); }
    bool finished() const { return m_next >= m_steps.size(); }
    QString failure; // the condition that never came true, or empty
    // Runs once a condition has timed out, for example to end a loop the test would else hang in.
    std::function<void()> onFailure;

private:
    struct Step {
        std::function<bool()> condition;
        std::function<void()> action;
        QString what;
        int timeoutMs;
    };
    void tick()
    {
        if (m_busy)
            return; // an action runs a nested loop of its own
        while (m_next < m_steps.size()) {
            Step &s = m_steps[m_next];
            if (s.condition) {
                if (!s.condition()) {
                    m_waited += m_timer.interval();
                    if (m_waited < s.timeoutMs)
                        return;
                    failure = QStringLiteral("timed out waiting for: ") + s.what;
                    m_next = m_steps.size();
                    m_timer.stop();
                    if (onFailure)
                        onFailure();
                    return;
                }
                m_waited = 0;
                ++m_next;
            } else {
                ++m_next;
                m_busy = true;
                s.action();
                m_busy = false;
            }
        }
        m_timer.stop();
    }

    QTimer m_timer;
    std::vector<Step> m_steps;
    size_t m_next = 0;
    int m_waited = 0;
    bool m_busy = false;
};
