#include "fakeclock.h"

#include "desktop/eventyield.h"

void FakeClock::waitTurn(qint64 milliseconds)
{
    ++turns;
    now += qMax<qint64>(0, qMin(milliseconds, step));
    EventYield::yieldOnce();
}
