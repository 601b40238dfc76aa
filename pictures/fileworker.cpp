#include "pictures/fileworker.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>

#include <algorithm>
#include <list>
#include <thread>
#include <vector>

#include <pthread.h>
#include <time.h>

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

// Threads started beyond the kept ones so that urgent work never waits for busy threads.
constexpr int MaxSpareThreads = 2;

// How often work at work is charged its processor time, and so how soon work that has run
// out is given up.
constexpr std::chrono::milliseconds ChargeInterval{20};

std::chrono::nanoseconds timeOf(clockid_t clock)
{
    timespec now{};
    if (clock_gettime(clock, &now) != 0)
        return {};
    return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

} // namespace

// What the threads share with their owner; it lives as long as the last of them.
struct FileWorker::Queue
{
    struct Job
    {
        std::function<void()> run;
        std::optional<Watch> watch;
    };
    // Stoppable work running now.
    struct Running
    {
        std::shared_ptr<WorkStop> stop;
        std::function<void()> giveUp;
        bool givenUp = false; // its thread no longer counts: another took its place
    };

    ProcessorTime processorTime;
    std::mutex mutex;
    std::condition_variable changed; // work queued, or the end
    std::condition_variable watched; // stoppable work started, cancelled or ended
    std::deque<Job> jobs;
    std::list<std::shared_ptr<Running>> running;
    bool ending = false;
    bool watching = false;         // the watch thread runs
    int kept = 1;                  // threads kept for the work
    int live = 0;                  // threads taking work, given-up ones not counted
    int idle = 0;                  // of them, waiting for work
    QObject *wakeTarget = nullptr; // lives on the window's thread; null once the owner has gone
};

// The threads' own loops, with the queue locked where they say so.
struct FileWorkerThreads
{
    using Queue = FileWorker::Queue;

    // With the queue locked.
    static void start(const std::shared_ptr<Queue> &queue)
    {
        ++queue->live;
        ++queue->idle;
        std::thread([queue] { work(queue); }).detach();
    }

    static void work(const std::shared_ptr<Queue> &queue)
    {
        for (;;) {
            Queue::Job job;
            std::shared_ptr<Queue::Running> running;
            {
                std::unique_lock lock(queue->mutex);
                queue->changed.wait(lock, [&] { return queue->ending || !queue->jobs.empty(); });
                if (queue->jobs.empty()) {
                    --queue->live;
                    --queue->idle;
                    return;
                }
                --queue->idle;
                job = std::move(queue->jobs.front());
                queue->jobs.pop_front();
                if (job.watch) {
                    running = std::make_shared<Queue::Running>(
                        Queue::Running{job.watch->stop, job.watch->giveUp});
                    const std::weak_ptr<Queue> weak = queue;
                    job.watch->stop->setNotify([weak] {
                        if (const auto q = weak.lock())
                            q->watched.notify_all();
                    });
                    queue->running.push_back(running);
                    if (!queue->watching) {
                        queue->watching = true;
                        std::thread([queue] { watch(queue); }).detach();
                    }
                    queue->watched.notify_all();
                }
            }
            job.run();
            bool leave = false;
            {
                std::lock_guard lock(queue->mutex);
                if (running) {
                    queue->running.remove(running);
                    // Given up: another thread has taken this one's place.
                    leave = running->givenUp;
                    queue->watched.notify_all();
                }
                if (!leave && queue->live > queue->kept && queue->jobs.empty()) {
                    --queue->live; // a spare thread, not needed any more
                    leave = true;
                }
                if (!leave)
                    ++queue->idle;
            }
            // Any event wakes an event loop that sleeps waiting for this work.
            FileWorker::callOnWindowThread(*queue, {});
            if (leave)
                return;
        }
    }

    // Charges the stoppable work at work its processor time, and gives up the work that was
    // cancelled or has run out of it.
    static void watch(const std::shared_ptr<Queue> &queue)
    {
        std::chrono::nanoseconds last{};
        bool charging = false; // some work was at work at the last look
        for (;;) {
            std::vector<std::function<void()>> giveUps;
            {
                std::unique_lock lock(queue->mutex);
                // The clock is the owner's: once the owner has gone, nothing is charged, and
                // the work still running is left to end by itself.
                const auto now = queue->ending ? last : queue->processorTime();
                // The time since the last look is shared by the work at work now: the work
                // given up that still runs takes its part too, charged to nobody.
                const auto atWork =
                    std::count_if(queue->running.begin(), queue->running.end(),
                                  [](const auto &running) { return running->stop->isWorking(); });
                if (charging && atWork > 0 && now > last) {
                    for (const auto &running : queue->running)
                        if (!running->givenUp && running->stop->isWorking())
                            running->stop->charge((now - last) / atWork);
                }
                last = now;
                charging = atWork > 0;
                for (const auto &running : queue->running) {
                    if (running->givenUp || !running->stop->stopped())
                        continue;
                    running->givenUp = true;
                    giveUps.push_back(running->giveUp);
                    // The thread goes on with the work until the work stops; another takes the
                    // queue's work meanwhile.
                    --queue->live;
                    if (!queue->ending)
                        start(queue);
                }
                if (giveUps.empty()) {
                    if (queue->ending && queue->running.empty()) {
                        queue->watching = false;
                        return;
                    }
                    if (queue->running.empty())
                        queue->watched.wait(lock);
                    else
                        queue->watched.wait_for(lock, ChargeInterval);
                    continue;
                }
            }
            for (const auto &giveUp : giveUps)
                giveUp();
            FileWorker::callOnWindowThread(*queue, {});
        }
    }
};

FileWorker::ProcessorTime FileWorker::programProcessorTime()
{
    clockid_t windowThread{};
    if (pthread_getcpuclockid(pthread_self(), &windowThread) != 0)
        return [] { return timeOf(CLOCK_PROCESS_CPUTIME_ID); };
    return [windowThread] { return timeOf(CLOCK_PROCESS_CPUTIME_ID) - timeOf(windowThread); };
}

FileWorker::FileWorker(int threads, ProcessorTime processorTime)
    : m_queue(std::make_shared<Queue>()), m_threads(std::max(1, threads))
{
    m_queue->processorTime = processorTime ? std::move(processorTime) : programProcessorTime();
    m_queue->wakeTarget = new WindowThreadCaller;
    std::lock_guard lock(m_queue->mutex);
    m_queue->kept = m_threads;
    for (int i = 0; i < m_threads; ++i)
        FileWorkerThreads::start(m_queue);
}

FileWorker::~FileWorker()
{
    QObject *wakeTarget = nullptr;
    {
        std::lock_guard lock(m_queue->mutex);
        m_queue->ending = true;
        m_queue->jobs.clear(); // work not started yet is not wanted any more
        m_queue->processorTime = {};
        std::swap(wakeTarget, m_queue->wakeTarget);
    }
    m_queue->changed.notify_all();
    m_queue->watched.notify_all();
    delete wakeTarget; // its pending wake-ups go with it
}

void FileWorker::callOnWindowThread(Queue &queue, std::function<void()> call)
{
    std::lock_guard lock(queue.mutex);
    if (queue.wakeTarget)
        QCoreApplication::postEvent(queue.wakeTarget,
                                    new WindowThreadCaller::Call(std::move(call)));
}

void FileWorker::post(bool urgent, std::function<void()> job, std::optional<Watch> watch)
{
    {
        std::lock_guard lock(m_queue->mutex);
        Queue::Job queued{std::move(job), std::move(watch)};
        if (urgent)
            m_queue->jobs.push_front(std::move(queued));
        else
            m_queue->jobs.push_back(std::move(queued));
        // Urgent work does not wait for the work running now: a thread of its own.
        const int most = m_queue->kept + (urgent ? MaxSpareThreads : 0);
        if (m_queue->idle == 0 && m_queue->live < most && !m_queue->ending)
            FileWorkerThreads::start(m_queue);
    }
    m_queue->changed.notify_one();
}
