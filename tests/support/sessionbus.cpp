#include "sessionbus.h"

#include <QStandardPaths>

QString SessionBus::start()
{
    const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
    if (daemon.isEmpty())
        return QStringLiteral("dbus-daemon is not installed");
    m_daemon.start(daemon, {QStringLiteral("--session"), QStringLiteral("--nofork"),
                            QStringLiteral("--nopidfile"), QStringLiteral("--print-address")});
    while (m_daemon.waitForReadyRead(10000) && !m_daemon.canReadLine()) {
    }
    address = QString::fromUtf8(m_daemon.readLine().trimmed());
    if (address.isEmpty())
        return QStringLiteral("dbus-daemon gave no address: ") + m_daemon.errorString();
    // Nothing has asked for the session bus yet: this is the one the program gets.
    qputenv("DBUS_SESSION_BUS_ADDRESS", address.toUtf8());
    return {};
}

SessionBus::~SessionBus()
{
    m_daemon.kill();
    m_daemon.waitForFinished(5000);
}
