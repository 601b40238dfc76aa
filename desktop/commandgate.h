#pragma once

#include <QList>
#include <QObject>
#include <QPointer>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

// Keeps the order of the show while it waits for file work on a worker thread. Meanwhile the
// window's thread goes on painting and serving the event queue, but the windows' handlers are
// held: they run, in the order they came, at the next turn of the event queue after the wait,
// so that a click takes effect at the same step of the show as when the work was done on the
// window's thread. Only what must never wait ("F I N E") bypasses the gate.
class CommandGate : public QObject
{
    Q_OBJECT

public:
    explicit CommandGate(QObject *parent = nullptr);

    // Whether the show is waiting for file work, so that handlers are held.
    bool isHolding() const { return m_waiting > 0; }

    // Runs handler now, or keeps it for the end of the wait while the show waits. context is
    // the window the handler belongs to: a handler of a window that has gone is dropped.
    void run(QObject *context, std::function<void()> handler);
    // Runs handler now, also while the show waits: leaving a window must not wait for a file.
    void runAtOnce(QObject *context, const std::function<void()> &handler)
    {
        if (context)
            handler();
    }

    // The result of task, work done on a worker thread (isReady(), waitFor(timeout), result()),
    // serving the window's events while it is not ready. Short work is
    // waited for without serving events (a picture of a few megapixels), so that ordinary
    // pictures keep the show's steps exactly as they were; beyond that the events are served
    // and the handlers held.
    template <typename Task> auto waitFor(const std::shared_ptr<Task> &task)
    {
        return *waitFor(task, [] { return false; });
    }
    // The same, given up as soon as giveUp() turns true while the events are served (the user
    // has left the window that waits): empty then.
    template <typename Task, typename GiveUp>
    auto waitFor(const std::shared_ptr<Task> &task, GiveUp &&giveUp)
        -> std::optional<decltype(task->result())>
    {
        if (!task->waitFor(QuietWait)) {
            HoldScope hold(*this);
            // Asked again once the work is ready: what gave the wait up (leaving the window)
            // may have come in the same turn of the event queue as the work's end, or ended it.
            for (;;) {
                if (giveUp())
                    return std::nullopt;
                if (task->isReady())
                    break;
                serveEventsOnce();
            }
        }
        return task->result();
    }

    // Longest time the window's thread waits for file work without serving its events.
    static constexpr std::chrono::milliseconds QuietWait{20};

private:
    struct HoldScope
    {
        explicit HoldScope(CommandGate &g) : gate(g) { ++gate.m_waiting; }
        ~HoldScope() { gate.endWait(); }
        CommandGate &gate;
    };
    struct Held
    {
        QPointer<QObject> context;
        std::function<void()> handler;
    };

    void serveEventsOnce();
    void endWait();
    void scheduleRelease();
    void releaseHeld();

    int m_waiting = 0;
    bool m_releaseScheduled = false;
    QList<Held> m_held;
};
