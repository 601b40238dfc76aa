#include "fakeclock.h"

#include "desktop/eventyield.h"

#include <QTest>

void FakeClock::at(qint64 ms, std::function<void()> action)
{
    m_cues.append({[this, ms] { return now >= ms; }, std::move(action), false});
}

void FakeClock::when(std::function<bool()> ready, std::function<void()> action)
{
    m_cues.append({std::move(ready), std::move(action), true});
}

void FakeClock::waitTurn(qint64 milliseconds)
{
    ++turns;
    // A cue's action may start a nested loop whose turns come here again: each cue is marked
    // done before it runs, and the list is read afresh after each.
    for (qsizetype i = 0; i < m_cues.size(); ++i) {
        if (!m_cues[i].done && m_cues[i].holdsTheClock) {
            const std::function<bool()> ready = m_cues[i].ready; // the events served may add cues
            if (!QTest::qWaitFor(ready, 10000))
                qWarning("FakeClock: a cue waited ten seconds in vain for its moment at %lld ms",
                         now);
        }
    }
    now += qBound<qint64>(0, milliseconds, step);
    for (qsizetype i = 0; i < m_cues.size(); ++i) {
        if (m_cues[i].done || !m_cues[i].ready())
            continue;
        m_cues[i].done = true;
        const std::function<void()> action = m_cues[i].action;
        action();
    }
    if (everyTurn)
        everyTurn();
    EventYield::yieldOnce();
}
