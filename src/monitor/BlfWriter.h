#pragma once
// Vector BLF logs of CAN frames, as CANoe and python-can read them: a 144-byte file header with
// the measurement's start (local time, to the millisecond), then log containers of about 128 KiB
// of objects, zlib-compressed. Each frame is a CAN_MESSAGE object with a nanosecond stamp from
// the start. The header's sizes and counts stay 0, so the file can be written to a pipe.

#include "monitor/FrameStore.h"

#include <QByteArray>

#include <memory>
#include <vector>

template <class TJob>
class TOrderedWork;

QByteArray BlfHeader(int64_t startUs);

// Gathers objects and packs them into containers as they fill. Once a log fills its first
// container, the packing goes on worker threads while frames keep coming; the containers still
// leave in their order, the same bytes as packed one by one.
class TBlfPacker {
public:
    static constexpr qsizetype ContainerBytes = 128 * 1024;

    TBlfPacker();
    ~TBlfPacker();
    TBlfPacker(TBlfPacker &&) noexcept;
    TBlfPacker &operator=(TBlfPacker &&) noexcept;

    // Appends the frame's object; a full container goes to `out`. False for a line that is no
    // frame or whose checksum is wrong.
    bool Append(QByteArray &out, const TFrameRow &row, int64_t startUs);
    // The last, partly filled container.
    void Finish(QByteArray &out);

    // At most this many containers are packed at once (0: all packed on the caller's thread).
    void SetWorkers(int workers) { m_workerCount = workers; }

    struct TContainer;

private:
    // Hands the first `bytes` pending bytes over to be packed.
    void Pack(QByteArray &out, qsizetype bytes);
    // Appends the packed containers that are ready; with `wait`, waits until at most `keep` are out.
    void Collect(QByteArray &out, bool wait, size_t keep);
    QByteArray m_pending;
    int m_workerCount = -1; // as many as the machine has cores for, up to two
    std::unique_ptr<TOrderedWork<TContainer>> m_workers;
    std::vector<std::unique_ptr<TContainer>> m_spare; // reused, so a long log allocates nothing new
};
