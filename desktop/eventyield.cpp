#include "desktop/eventyield.h"

#include <QCoreApplication>
#include <QTimer>

namespace EventYield {

void yieldOnce() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

void waitForEvents(int milliseconds)
{
    if (milliseconds <= 0) {
        yieldOnce();
        return;
    }
    // A precise wake-up: a coarse timer may fire early, and the sleep below would then wait
    // for an event that never comes.
    QTimer wakeUp;
    wakeUp.setTimerType(Qt::PreciseTimer);
    wakeUp.setSingleShot(true);
    wakeUp.start(milliseconds);
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

} // namespace EventYield
