#pragma once

#include "desktop/showclock.h"

#include <QList>

#include <functional>

// A show clock that the test drives: every turn of a wait moves it on by one step (at most what
// the wait asked for), runs the cues that are due and yields once, without sleeping. A cue
// runs inside a turn of the show's wait, as a click served there would.
class FakeClock : public ShowClock
{
public:
    explicit FakeClock(qint64 startMs = 0, qint64 stepMs = 100) : now(startMs), step(stepMs) {}

    qint64 nowMs() const override { return now; }
    void waitTurn(qint64 milliseconds) override;

    // Runs action once, in the turn that brings the clock to ms or past it.
    void at(qint64 ms, std::function<void()> action);
    // Runs action once, in the first turn in which ready() holds; until then the clock stands
    // still and each turn waits for it (in the event loop, for ten seconds at most).
    void when(std::function<bool()> ready, std::function<void()> action);
    // Drops the cues that have not run: a show that reached their moment without a turn.
    void dropCues() { m_cues.clear(); }
    // Runs in every turn, after the cues.
    std::function<void()> everyTurn;

    qint64 now;
    qint64 step;
    int turns = 0;

private:
    struct Cue
    {
        std::function<bool()> ready;
        std::function<void()> action;
        bool holdsTheClock;
        bool done = false;
    };
    QList<Cue> m_cues;
};
