#pragma once

#include "pictures/workstop.h"

#include <QString>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

// The result of a piece of file work done by the FileWorker: ready once the work has ended, or
// once it has been given up. Shared between the thread that asked and the worker, so either
// may go first.
template <typename T> class FileTask
{
public:
    bool isReady() const
    {
        std::lock_guard lock(m_mutex);
        return m_ready;
    }

    // Waits until the work has ended or timeout has passed; true when it has ended.
    bool waitFor(std::chrono::milliseconds timeout) const
    {
        std::unique_lock lock(m_mutex);
        return m_done.wait_for(lock, timeout, [this] { return m_ready; });
    }

    // The result; only once ready. Work that threw rethrows here.
    T result() const
    {
        std::lock_guard lock(m_mutex);
        if (m_error)
            std::rethrow_exception(m_error);
        return *m_value;
    }

    // Gives the work up, when it may be given up: it stops where it can, and the task is
    // ready at once with the answer of work given up.
    void cancel() const
    {
        if (m_stop)
            m_stop->cancel();
    }

    // Called by the worker; only the first result counts (the work's, or that of its giving
    // up). False when the task was ready already.
    bool finish(std::optional<T> value, std::exception_ptr error)
    {
        {
            std::lock_guard lock(m_mutex);
            if (m_ready)
                return false;
            m_value = std::move(value);
            m_error = error;
            m_ready = true;
        }
        m_done.notify_all();
        return true;
    }
    void setStop(std::shared_ptr<WorkStop> stop) { m_stop = std::move(stop); }

private:
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_done;
    bool m_ready = false;
    std::optional<T> m_value;
    std::exception_ptr m_error;
    std::shared_ptr<WorkStop> m_stop;
};

// Threads that do the program's file work (listing a folder, opening and decoding pictures)
// away from the window's thread, so that no file, however slow or hostile, blocks a window.
// The threads are never waited for: one stuck in a file that never answers (a dead network
// share) is left behind, and the program still ends at once. Work that may be given up
// (decoding a picture) is given up when it runs past its time or is cancelled: its task is
// answered at once, and its thread is left to end the work where it can while another thread
// takes its place, so that no work queued after it waits for it.
class FileWorker
{
public:
    // The processor time the program has spent so far on work of its own beside its window:
    // the process's time less the window thread's.
    using ProcessorTime = std::function<std::chrono::nanoseconds()>;
    static ProcessorTime programProcessorTime();

    // threads: how many pieces of work run at once, beside the urgent ones. Work that may be
    // given up is charged the processorTime that passes while it is at work, shared with the
    // work at work beside it; the program's own when null. It is called no more once the
    // worker has gone.
    explicit FileWorker(int threads, ProcessorTime processorTime = {});
    // Asks the threads to end once the work queued is done; does not wait for them.
    ~FileWorker();

    FileWorker(const FileWorker &) = delete;
    FileWorker &operator=(const FileWorker &) = delete;

    int threadCount() const { return m_threads; }

    // Queues work; its result comes in the task. The window's thread is woken when it ends,
    // so that an event loop waiting for it sees it at once. Urgent work goes before the work
    // queued so far, on a thread of its own when every thread is busy.
    template <typename T>
    std::shared_ptr<FileTask<T>> run(std::function<T()> work, bool urgent = false)
    {
        auto task = std::make_shared<FileTask<T>>();
        post(urgent, [task, work = std::move(work)] {
            // Work whose result nobody holds any more (a picture decoded ahead, then dropped)
            // is skipped.
            if (task.use_count() == 1)
                return;
            settle(*task, work);
        });
        return task;
    }

    // Queues work that may be given up: it gets a stop that turns true once the work has
    // taken more processor time than it may (the stop's budget, which the work sets once it
    // knows its cost), or when its task is cancelled, and it should stop where it can then.
    // The task is answered at that moment with givenUp(stop), whatever the work is doing.
    template <typename T>
    std::shared_ptr<FileTask<T>> run(std::function<T(WorkStop &)> work,
                                     std::function<T(const WorkStop &)> givenUp,
                                     bool urgent = false)
    {
        auto task = std::make_shared<FileTask<T>>();
        auto stop = std::make_shared<WorkStop>();
        task->setStop(stop);
        const std::weak_ptr<FileTask<T>> weak = task;
        post(
            urgent,
            [task, stop, work = std::move(work), givenUp] {
                if (task.use_count() == 1)
                    return;
                if (stop->isCancelled())
                    settle(*task, [&] { return givenUp(*stop); });
                else
                    settle(*task, [&] { return work(*stop); });
            },
            Watch{stop, [weak, givenUp, stop] {
                      if (const auto given = weak.lock())
                          settle(*given, [&] { return givenUp(*stop); });
                  }});
        return task;
    }

    // Queues work whose result then goes to the window's thread: then runs there, from its
    // event queue, unless the work threw or the worker has gone meanwhile.
    template <typename T> void run(std::function<T()> work, std::function<void(const T &)> then)
    {
        auto queue = m_queue;
        post(false, [queue, work = std::move(work), then = std::move(then)] {
            std::shared_ptr<T> value;
            try {
                value = std::make_shared<T>(work());
            } catch (...) {
                return;
            }
            callOnWindowThread(*queue, [then, value] { then(*value); });
        });
    }

private:
    friend struct FileWorkerThreads;
    struct Queue;
    // Stoppable work: what stops it, and how its task is answered when given up.
    struct Watch
    {
        std::shared_ptr<WorkStop> stop;
        std::function<void()> giveUp;
    };

    template <typename T, typename Work> static void settle(FileTask<T> &task, Work &&work)
    {
        std::optional<T> value;
        std::exception_ptr error;
        try {
            value.emplace(work());
        } catch (...) {
            error = std::current_exception();
        }
        task.finish(std::move(value), error);
    }

    void post(bool urgent, std::function<void()> job, std::optional<Watch> watch = std::nullopt);
    static void callOnWindowThread(Queue &queue, std::function<void()> call);

    std::shared_ptr<Queue> m_queue;
    int m_threads = 1;
};
