#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>

// Tells a piece of work on a worker thread that it is to stop: it was cancelled (its result is
// no longer wanted), or it has run past its time. The work looks at it where it can stop (a
// decoder at every read of its file) and then gives up; whoever waits for its result has been
// answered already.
class WorkStop
{
public:
    using Clock = std::chrono::steady_clock;

    WorkStop() = default;
    WorkStop(const WorkStop &) = delete;
    WorkStop &operator=(const WorkStop &) = delete;

    // Whether the work is to stop now.
    bool stopped() const
    {
        if (m_cancelled.load(std::memory_order_relaxed))
            return true;
        const std::int64_t deadline = m_deadlineNs.load(std::memory_order_relaxed);
        return deadline != 0 && Clock::now().time_since_epoch().count() >= deadline;
    }
    bool isCancelled() const { return m_cancelled.load(std::memory_order_relaxed); }

    // The work's result is no longer wanted: it stops at its next look.
    void cancel()
    {
        m_cancelled.store(true, std::memory_order_relaxed);
        std::function<void()> notify;
        {
            std::lock_guard lock(m_mutex);
            notify = m_notify;
        }
        if (notify)
            notify();
    }

    // Starts the work's time: it is to stop once budget has passed. Called as the work starts
    // running, not when it is queued.
    void startClock(std::chrono::milliseconds budget)
    {
        const auto deadline = Clock::now() + budget;
        m_deadlineNs.store(deadline.time_since_epoch().count(), std::memory_order_relaxed);
    }
    // When the work is to stop; the clock's epoch when it has not started.
    Clock::time_point deadline() const
    {
        return Clock::time_point(Clock::duration(m_deadlineNs.load(std::memory_order_relaxed)));
    }

    // Called by the worker: told of a cancel, so that it stops waiting for the work.
    void setNotify(std::function<void()> notify)
    {
        std::lock_guard lock(m_mutex);
        m_notify = std::move(notify);
    }

private:
    std::atomic<bool> m_cancelled{false};
    std::atomic<std::int64_t> m_deadlineNs{0};
    std::mutex m_mutex;
    std::function<void()> m_notify;
};
