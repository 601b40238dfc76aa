#include "desktop/guard.h"

#include "desktop/platformservices.h"
#include "runtime/runtimeerror.h"

void runGuarded(PlatformServices &services, QWidget *parent, const std::function<void()> &handler)
{
    try {
        handler();
    } catch (const RuntimeError &error) {
        services.showMessage(parent, QStringLiteral("Errore di run-time '%1':\r\r%2")
                                         .arg(error.number())
                                         .arg(error.description()));
    }
}
