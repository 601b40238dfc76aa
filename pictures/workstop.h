#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>

// Tells a piece of work on a worker thread that it is to stop: it was cancelled (its result is
// no longer wanted), or it has used up the processor time it may take. The work looks at it
// where it can stop (a decoder at every read of its file) and then gives up; whoever waits for
// its result has been answered already.
//
// Only the time the work spends working is charged: the worker charges it while the work says
// it is at work, not while it waits (for a thread, for memory, for a slow disk).
class WorkStop
{
public:
    using Nanoseconds = std::chrono::nanoseconds;

    // The processor time a piece of work may take before it has told what it will cost.
    static constexpr Nanoseconds FirstBudget = std::chrono::seconds(2);

    WorkStop() = default;
    WorkStop(const WorkStop &) = delete;
    WorkStop &operator=(const WorkStop &) = delete;

    // Whether the work is to stop now.
    bool stopped() const { return isCancelled() || hasRunOut(); }
    bool isCancelled() const { return m_cancelled.load(std::memory_order_relaxed); }
    // Whether the work has taken more processor time than it may.
    bool hasRunOut() const
    {
        return m_spentNs.load(std::memory_order_relaxed) >
               m_budgetNs.load(std::memory_order_relaxed);
    }

    // The work's result is no longer wanted: it stops at its next look.
    void cancel()
    {
        m_cancelled.store(true, std::memory_order_relaxed);
        notify();
    }

    // Told by the work: the processor time it may take, once it knows what it will cost.
    void setBudget(Nanoseconds budget)
    {
        m_budgetNs.store(budget.count(), std::memory_order_relaxed);
        notify();
    }
    Nanoseconds budget() const { return Nanoseconds(m_budgetNs.load(std::memory_order_relaxed)); }

    // Told by the work: whether it is working now, or waiting for something that is not its
    // own doing (its share of memory). Time spent waiting is not charged.
    void setWorking(bool working) const { m_working.store(working, std::memory_order_relaxed); }
    bool isWorking() const { return m_working.load(std::memory_order_relaxed); }

    // Processor time the work has taken so far.
    Nanoseconds spent() const { return Nanoseconds(m_spentNs.load(std::memory_order_relaxed)); }
    // Called by the worker while the work runs.
    void charge(Nanoseconds time)
    {
        m_spentNs.fetch_add(time.count(), std::memory_order_relaxed);
        if (hasRunOut())
            notify();
    }

    // Called by the worker: told when the work is cancelled or runs out, so that it stops
    // waiting for the work.
    void setNotify(std::function<void()> notify)
    {
        std::lock_guard lock(m_mutex);
        m_notify = std::move(notify);
    }

private:
    void notify()
    {
        std::function<void()> notify;
        {
            std::lock_guard lock(m_mutex);
            notify = m_notify;
        }
        if (notify)
            notify();
    }

    std::atomic<bool> m_cancelled{false};
    mutable std::atomic<bool> m_working{true};
    std::atomic<std::int64_t> m_spentNs{0};
    std::atomic<std::int64_t> m_budgetNs{FirstBudget.count()};
    std::mutex m_mutex;
    std::function<void()> m_notify;
};
