#pragma once
// Measurements shared by the benchmarks.

#include "CanBus.h"
#include "support/ModalDriver.h"
#include "support/OperationConnect.h"
#include "ui/main/MainUnit.h"
#include "ui/main/ReceiveModel.h"
#include "ui/main/SettingsDlg.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QComboBox>
#include <QFile>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <functional>
#include <vector>

#include <sys/resource.h>

// Processor time of this process so far, user and system, in seconds.
inline double ProcessCpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Resident memory of this process in kB, or -1.
// Processor time of process `pid` so far, in ms, to the nanosecond (the scheduler's own count,
// not the 10 ms ticks of /proc/PID/stat); -1 when it cannot be read.
inline double ProcessCpuMs(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/schedstat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    return stat.readAll().split(' ').value(0).toDouble() / 1e6;
}

// Runs the event loop for `ms`, waiting rather than spinning.
inline void RunEventsFor(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
}

// The value at fraction `p` (0 to 1) of the sorted values; -1 when there are none.
inline double Percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return -1;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(double(v.size()) * p))];
}

// A figure of /proc/self/status in kB ("VmRSS:" resident now, "VmHWM:" its peak); -1 if unknown.
inline long StatusKb(const QByteArray &key)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').value(0).toLong();
    return -1;
}

inline long ResidentKb()
{
    return StatusKb("VmRSS:");
}

inline double Median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

inline double Percentile95(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(double(v.size()) * 0.95))];
}

// Counts the lines and bytes listed so far; items are never changed once listed, so each is
// looked at once.
struct ListedCounter {
    int items = 0;
    qint64 lines = 0;
    qint64 bytes = 0;
    void update(const TReceiveModel &model)
    {
        for (; items < model.Count(); ++items) {
            const QByteArray item = model.Item(items);
            lines += item.count('\r');
            bytes += item.size();
        }
    }
};

// Average bytes per line of the virtual module's node, CR included.
inline double AverageNodeLineBytes()
{
    Sim::BusNode node(1);
    qint64 bytes = 0;
    const int n = 200000;
    for (int i = 0; i < n; ++i)
        bytes += node.next().size() + 1;
    return double(bytes) / n;
}
