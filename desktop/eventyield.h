#pragma once

// Yielding to the event queue: every handler of either window, user input included, may run
// inside these calls.
namespace EventYield {

// Serves the events that are waiting, then returns.
void yieldOnce();

// Sleeps in the event loop until an event has been served or milliseconds have passed,
// whichever comes first. Costs no processor time while nothing happens.
void waitForEvents(int milliseconds);

} // namespace EventYield
