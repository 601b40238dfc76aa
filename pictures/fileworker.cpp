#include "pictures/fileworker.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>

#include <algorithm>
#include <thread>

namespace {

// Runs calls from the workers on the window's thread, from its event queue; any event it
// gets also wakes an event loop that sleeps waiting for a worker.
class WindowThreadCaller : public QObject
{
public:
    struct Call : QEvent
    {
        explicit Call(std::function<void()> f) : QEvent(QEvent::User), function(std::move(f)) {}
        std::function<void()> function;
    };

    bool event(QEvent *event) override
    {
        if (event->type() != QEvent::User)
            return QObject::event(event);
        if (const auto call = static_cast<Call *>(event); call->function)
            call->function();
        return true;
    }
};

} // namespace

// What the threads share with their owner; it lives as long as the last of them.
struct FileWorker::Queue
{
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::function<void()>> jobs;
    bool ending = false;
    QObject *wakeTarget = nullptr; // lives on the window's thread; null once the owner has gone
};

FileWorker::FileWorker(int threads)
    : m_queue(std::make_shared<Queue>()), m_threads(std::max(1, threads))
{
    m_queue->wakeTarget = new WindowThreadCaller;
    for (int i = 0; i < m_threads; ++i) {
        std::thread([queue = m_queue] {
            for (;;) {
                std::function<void()> job;
                {
                    std::unique_lock lock(queue->mutex);
                    queue->changed.wait(lock,
                                        [&] { return queue->ending || !queue->jobs.empty(); });
                    if (queue->jobs.empty())
                        return;
                    job = std::move(queue->jobs.front());
                    queue->jobs.pop_front();
                }
                job();
                // Any event wakes an event loop that sleeps waiting for this work.
                callOnWindowThread(*queue, {});
            }
        }).detach();
    }
}

FileWorker::~FileWorker()
{
    QObject *wakeTarget = nullptr;
    {
        std::lock_guard lock(m_queue->mutex);
        m_queue->ending = true;
        m_queue->jobs.clear(); // work not started yet is not wanted any more
        std::swap(wakeTarget, m_queue->wakeTarget);
    }
    m_queue->changed.notify_all();
    delete wakeTarget; // its pending wake-ups go with it
}

void FileWorker::callOnWindowThread(Queue &queue, std::function<void()> call)
{
    std::lock_guard lock(queue.mutex);
    if (queue.wakeTarget)
        QCoreApplication::postEvent(queue.wakeTarget,
                                    new WindowThreadCaller::Call(std::move(call)));
}

void FileWorker::post(bool urgent, std::function<void()> job)
{
    {
        std::lock_guard lock(m_queue->mutex);
        if (urgent)
            m_queue->jobs.push_front(std::move(job));
        else
            m_queue->jobs.push_back(std::move(job));
    }
    m_queue->changed.notify_one();
}
