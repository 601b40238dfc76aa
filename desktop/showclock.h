#pragma once

#include <QElapsedTimer>

// The show's time: a monotonic clock in milliseconds, and one turn of a wait, which sleeps
// in the event loop until an event has been served or the time asked for has passed.
// Tests put a clock of their own in its place.
class ShowClock
{
public:
    ShowClock();
    virtual ~ShowClock() = default;

    // Milliseconds since an arbitrary start; never goes back.
    virtual qint64 nowMs() const;
    // One turn of a wait: yields to the event queue, sleeping at most milliseconds.
    virtual void waitTurn(qint64 milliseconds);

private:
    QElapsedTimer m_timer;
};
