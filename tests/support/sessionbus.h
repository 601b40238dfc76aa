#pragma once

#include <QProcess>
#include <QString>

// A private session bus (dbus-daemon), so that a test of the bus neither depends on nor disturbs
// the desktop's: the program's session bus once started, and gone with the test.
class SessionBus
{
public:
    // Starts the bus; why it cannot, empty when it runs.
    QString start();
    ~SessionBus();

    QString address;

private:
    QProcess m_daemon;
};
