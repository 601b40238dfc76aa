#pragma once

#include <QString>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

// The result of a piece of file work done by the FileWorker: ready once the work has ended.
// Shared between the thread that asked and the worker, so either may go first.
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

    // Called by the worker.
    void finish(std::optional<T> value, std::exception_ptr error)
    {
        {
            std::lock_guard lock(m_mutex);
            m_value = std::move(value);
            m_error = error;
            m_ready = true;
        }
        m_done.notify_all();
    }

private:
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_done;
    bool m_ready = false;
    std::optional<T> m_value;
    std::exception_ptr m_error;
};

// Threads that do the program's file work (listing a folder, opening and decoding pictures)
// away from the window's thread, so that no file, however slow or hostile, blocks a window.
// The threads are never waited for: one stuck in a file that never answers (a dead network
// share) is left behind, and the program still ends at once.
class FileWorker
{
public:
    // threads: how many pieces of work may run at once.
    explicit FileWorker(int threads);
    // Asks the threads to end once the work queued is done; does not wait for them.
    ~FileWorker();

    FileWorker(const FileWorker &) = delete;
    FileWorker &operator=(const FileWorker &) = delete;

    int threadCount() const { return m_threads; }

    // Queues work; its result comes in the task. The window's thread is woken when it ends,
    // so that an event loop waiting for it sees it at once. Urgent work goes before the work
    // queued so far.
    template <typename T>
    std::shared_ptr<FileTask<T>> run(std::function<T()> work, bool urgent = false)
    {
        auto task = std::make_shared<FileTask<T>>();
        post(urgent, [task, work = std::move(work)] {
            // Work whose result nobody holds any more (a picture decoded ahead, then dropped)
            // is skipped.
            if (task.use_count() == 1)
                return;
            std::optional<T> value;
            std::exception_ptr error;
            try {
                value.emplace(work());
            } catch (...) {
                error = std::current_exception();
            }
            task->finish(std::move(value), error);
        });
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
    struct Queue;
    void post(bool urgent, std::function<void()> job);
    static void callOnWindowThread(Queue &queue, std::function<void()> call);

    std::shared_ptr<Queue> m_queue;
    int m_threads = 1;
};
