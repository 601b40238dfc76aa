#include "desktop/showclock.h"

#include "desktop/eventyield.h"

#include <limits>

ShowClock::ShowClock() { m_timer.start(); }

qint64 ShowClock::nowMs() const { return m_timer.elapsed(); }

void ShowClock::waitTurn(qint64 milliseconds)
{
    const qint64 capped = qMin<qint64>(milliseconds, std::numeric_limits<int>::max());
    EventYield::waitForEvents(int(capped));
}
