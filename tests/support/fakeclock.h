#pragma once

#include "desktop/showclock.h"

// A show clock that the test drives: every turn of a wait moves it on by one step (at most
// what the wait asked for) and yields once, without sleeping.
class FakeClock : public ShowClock
{
public:
    explicit FakeClock(qint64 startMs = 0, qint64 stepMs = 250) : now(startMs), step(stepMs) {}

    qint64 nowMs() const override { return now; }
    void waitTurn(qint64 milliseconds) override;

    qint64 now;
    qint64 step;
    int turns = 0;
};
