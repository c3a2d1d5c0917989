#pragma once
// Jobs done on a few worker threads and handed back in the order they were given: the packing
// and unpacking of BLF containers, while the caller's thread parses or formats the frames. The
// caller bounds how many jobs are out (Pending), so memory stays flat whatever the log's length.

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

template <class TJob>
class TOrderedWork {
public:
    // `run` is called on a worker thread once for each job; what it throws comes out of Take,
    // on the caller's thread, as if the job had been done there.
    // Throws std::system_error when no thread can be started (then none runs).
    TOrderedWork(int workers, std::function<void(TJob &)> run) : m_run(std::move(run))
    {
        try {
            for (int i = 0; i < std::max(1, workers); ++i)
                m_threads.emplace_back([this] { Work(); });
        } catch (...) {
            if (m_threads.empty())
                throw;
            // Fewer workers than asked: those started do the work.
        }
    }
    // Jobs still running are finished, those not yet started dropped.
    ~TOrderedWork()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_all();
        for (std::thread &t : m_threads)
            t.join();
    }
    TOrderedWork(const TOrderedWork &) = delete;
    TOrderedWork &operator=(const TOrderedWork &) = delete;

    // The number of workers worth starting on this machine: at most `most`, at least one.
    static int WorkersFor(int most)
    {
        const int cores = int(std::thread::hardware_concurrency());
        return std::max(1, std::min(most, cores));
    }

    void Submit(std::unique_ptr<TJob> job)
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_jobs.push_back(TEntry {std::move(job), false, false, nullptr});
        }
        m_wake.notify_one();
    }
    // Jobs given and not yet taken back.
    size_t Pending() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_jobs.size();
    }
    // Whether some job is done and not yet taken: a check without a lock, for every frame.
    bool AnyDone() const { return m_finished.load(std::memory_order_acquire) != m_taken; }
    // Whether the oldest job is done, without waiting.
    bool OldestDone() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return !m_jobs.empty() && m_jobs.front().done;
    }
    // The oldest job once it is done (waits for it); null when none is out.
    std::unique_ptr<TJob> Take()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (m_jobs.empty())
            return nullptr;
        m_done.wait(lock, [this] { return m_jobs.front().done; });
        std::unique_ptr<TJob> job = std::move(m_jobs.front().job);
        const std::exception_ptr error = m_jobs.front().error;
        m_jobs.pop_front();
        ++m_taken;
        if (error)
            std::rethrow_exception(error);
        return job;
    }

private:
    struct TEntry {
        std::unique_ptr<TJob> job;
        bool started;
        bool done;
        std::exception_ptr error;
    };

    void Work()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            TEntry *next = nullptr;
            m_wake.wait(lock, [this, &next] {
                if (m_stop)
                    return true;
                for (TEntry &e : m_jobs)
                    if (!e.started) {
                        next = &e;
                        return true;
                    }
                return false;
            });
            if (m_stop)
                return;
            next->started = true;
            // The entry stays where it is: only done entries are taken off the front, and a
            // deque keeps its elements in place when others are added or removed at its ends.
            TJob *job = next->job.get();
            lock.unlock();
            std::exception_ptr error;
            try {
                m_run(*job);
            } catch (...) {
                error = std::current_exception();
            }
            lock.lock();
            next->error = error;
            next->done = true;
            m_finished.fetch_add(1, std::memory_order_release);
            m_done.notify_all();
        }
    }

    std::function<void(TJob &)> m_run;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_done;
    std::deque<TEntry> m_jobs;
    bool m_stop = false;
    std::atomic<size_t> m_finished {0}; // jobs done, ever
    size_t m_taken = 0;                 // jobs taken back, ever (the caller's thread only)
    std::vector<std::thread> m_threads;
};
