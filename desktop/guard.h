#pragma once

#include <functional>

class PlatformServices;
class QWidget;

// Runs an event handler. A runtime error that leaves it is reported in a message box
// ("Errore di run-time" with the number and the description) and the program stays usable:
// an error never escapes into the event loop.
void runGuarded(PlatformServices &services, QWidget *parent, const std::function<void()> &handler);
