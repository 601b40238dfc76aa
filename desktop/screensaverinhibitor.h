#pragma once

#include <QObject>

#include <optional>

class QDBusPendingCallWatcher;

// Keeps the desktop from blanking the screen while a show runs, through the freedesktop
// ScreenSaver service on the session bus (Inhibit, then UnInhibit with the cookie it gave).
// Where there is no session bus or no such service, it does nothing and prints nothing.
class ScreenSaverInhibitor : public QObject
{
    Q_OBJECT

public:
    static constexpr const char *Service = "org.freedesktop.ScreenSaver";
    static constexpr const char *Path = "/org/freedesktop/ScreenSaver";
    static constexpr const char *Interface = "org.freedesktop.ScreenSaver";

    explicit ScreenSaverInhibitor(QObject *parent = nullptr);
    // Releases an inhibition still held, waiting for the service's answer.
    ~ScreenSaverInhibitor() override;

    // Asks the desktop to keep the screen awake (true) or lets it blank again (false).
    // The call does not wait for the service; a release asked for while the request is on
    // its way happens as soon as the cookie arrives.
    void setInhibited(bool inhibited);

    // Whether the screen is meant to stay awake.
    bool isWanted() const { return m_wanted; }
    // Whether the service has granted an inhibition that is not released yet.
    bool isHeld() const { return m_cookie.has_value(); }

private:
    void requestInhibit();
    void inhibitAnswered(QDBusPendingCallWatcher *watcher);
    void release();

    bool m_wanted = false;
    QDBusPendingCallWatcher *m_pending = nullptr; // the Inhibit call on its way
    std::optional<quint32> m_cookie;
};
