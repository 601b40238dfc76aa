#include "desktop/commandgate.h"

#include <QApplication>

CommandGate::CommandGate(QObject *parent) : QObject(parent) {}

void CommandGate::run(QObject *context, std::function<void()> handler)
{
    // Held handlers go first: one that comes after them waits its turn. Those of a window
    // that has gone are nobody's turn.
    m_held.removeIf([](const Held &held) { return held.context.isNull(); });
    if (isHolding() || !m_held.isEmpty()) {
        m_held.append({context, std::move(handler)});
        if (!isHolding())
            scheduleRelease();
        return;
    }
    handler();
}

void CommandGate::scheduleRelease()
{
    if (m_releaseScheduled)
        return;
    m_releaseScheduled = true;
    QMetaObject::invokeMethod(this, &CommandGate::releaseHeld, Qt::QueuedConnection);
}

void CommandGate::serveEventsOnce()
{
    // Sleeps until an event comes; the worker's end is one.
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

void CommandGate::endWait()
{
    if (--m_waiting == 0 && !m_held.isEmpty())
        scheduleRelease();
}

void CommandGate::releaseHeld()
{
    m_releaseScheduled = false;
    // Another wait has begun: its end releases them.
    if (isHolding() || m_held.isEmpty())
        return;
    // A message box opened meanwhile blocks the windows: their clicks would not have reached
    // them.
    if (QApplication::activeModalWidget()) {
        m_held.clear();
        return;
    }
    // One handler a turn of the event queue: a handler that yields serves the next one
    // inside its yield, as it would have served the click itself.
    const Held next = m_held.takeFirst();
    if (!m_held.isEmpty())
        scheduleRelease();
    if (next.context)
        next.handler();
}
