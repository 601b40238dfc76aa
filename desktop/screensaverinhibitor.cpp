#include "desktop/screensaverinhibitor.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QGuiApplication>

namespace {

// How long the service may take to answer, milliseconds.
constexpr int InhibitTimeoutMs = 5000;
constexpr int FinalReleaseTimeoutMs = 2000;

QDBusMessage screenSaverCall(const QString &method)
{
    QDBusMessage message = QDBusMessage::createMethodCall(
        QString::fromLatin1(ScreenSaverInhibitor::Service),
        QString::fromLatin1(ScreenSaverInhibitor::Path),
        QString::fromLatin1(ScreenSaverInhibitor::Interface), method);
    // Only a service that is running is asked; none is started for us.
    message.setAutoStartService(false);
    return message;
}

// Whether the session bus is there and the service runs on it; asks quietly.
bool serviceAvailable()
{
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    const QDBusConnectionInterface *daemon = bus.interface();
    if (!daemon)
        return false;
    const QDBusReply<bool> registered =
        daemon->isServiceRegistered(QString::fromLatin1(ScreenSaverInhibitor::Service));
    return registered.isValid() && registered.value();
}

} // namespace

ScreenSaverInhibitor::ScreenSaverInhibitor(QObject *parent) : QObject(parent) {}

ScreenSaverInhibitor::~ScreenSaverInhibitor()
{
    m_wanted = false;
    if (m_pending) {
        // The cookie is still on its way: take it here, so that the inhibition does not
        // outlive the program.
        QDBusPendingCallWatcher *pending = m_pending;
        m_pending = nullptr;
        disconnect(pending, nullptr, this, nullptr);
        pending->waitForFinished();
        const QDBusPendingReply<quint32> reply = *pending;
        if (reply.isValid())
            m_cookie = reply.value();
    }
    if (!m_cookie)
        return;
    QDBusMessage message = screenSaverCall(QStringLiteral("UnInhibit"));
    message << *m_cookie;
    m_cookie.reset();
    // The program is ending: wait for the answer so that the release is not lost on the way.
    QDBusConnection::sessionBus().call(message, QDBus::Block, FinalReleaseTimeoutMs);
}

void ScreenSaverInhibitor::setInhibited(bool inhibited)
{
    m_wanted = inhibited;
    if (m_pending)
        return; // settled when the answer arrives
    if (inhibited && !m_cookie)
        requestInhibit();
    else if (!inhibited && m_cookie)
        release();
}

void ScreenSaverInhibitor::requestInhibit()
{
    if (!serviceAvailable())
        return;
    QDBusMessage message = screenSaverCall(QStringLiteral("Inhibit"));
    message << QGuiApplication::applicationDisplayName()
            << QStringLiteral("Presentazione di immagini in corso");
    m_pending = new QDBusPendingCallWatcher(
        QDBusConnection::sessionBus().asyncCall(message, InhibitTimeoutMs), this);
    connect(m_pending, &QDBusPendingCallWatcher::finished, this,
            &ScreenSaverInhibitor::inhibitAnswered);
}

void ScreenSaverInhibitor::inhibitAnswered(QDBusPendingCallWatcher *watcher)
{
    const QDBusPendingReply<quint32> reply = *watcher;
    watcher->deleteLater();
    if (watcher == m_pending)
        m_pending = nullptr;
    // A refused or unanswered request is not repeated: the show goes on without it.
    if (!reply.isValid())
        return;
    m_cookie = reply.value();
    if (!m_wanted)
        release();
}

void ScreenSaverInhibitor::release()
{
    QDBusMessage message = screenSaverCall(QStringLiteral("UnInhibit"));
    message << *m_cookie;
    m_cookie.reset();
    QDBusConnection::sessionBus().send(message);
}
