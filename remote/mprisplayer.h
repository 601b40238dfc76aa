#pragma once

#include <QObject>
#include <QString>
#include <QVariantMap>

// Album as a media player on the desktop's session bus (MPRIS, org.mpris.MediaPlayer2.<id>):
// the desktop's media controls, the keyboard's media keys and a phone paired with the desktop
// see the show and send their commands through it. It only tells and asks: its owner gives it
// the show as it stands and decides what each request does. Where there is no session bus it
// registers nothing and prints nothing.
class MprisPlayer : public QObject
{
    Q_OBJECT

public:
    static constexpr const char *ServicePrefix = "org.mpris.MediaPlayer2.";
    static constexpr const char *ObjectPath = "/org/mpris/MediaPlayer2";
    static constexpr const char *RootInterface = "org.mpris.MediaPlayer2";
    static constexpr const char *PlayerInterface = "org.mpris.MediaPlayer2.Player";

    enum class Status { Stopped, Playing, Paused };

    // The show as the desktop sees it.
    struct Show
    {
        Status status = Status::Stopped;
        bool canPlay = false;
        bool canPause = false;
        bool canGoNext = false;
        QString picturePath;           // the picture on screen; empty when none
        QString trackPath;             // the track that plays; empty when none
        bool canSetFullscreen = false; // a viewer is open
        bool fullscreen = false;       // the viewer fills the whole screen
        bool operator==(const Show &) const = default;
    };

    // identity is the name the desktop shows, desktopEntry the desktop entry's id without
    // ".desktop", which also ends the bus name.
    MprisPlayer(const QString &identity, const QString &desktopEntry, QObject *parent = nullptr);
    ~MprisPlayer() override;

    // Whether the player has taken a name on the session bus.
    bool isRegistered() const { return !m_serviceName.isEmpty(); }

    const Show &show() const { return m_show; }
    // Takes the show as it stands now and announces what changed (PropertiesChanged).
    void setShow(const Show &show);
    // Waits until the bus has what the player sent so far: its answers are not lost when the
    // program ends right after.
    void flush();

    QString identity() const { return m_identity; }
    QString desktopEntry() const { return m_desktopEntry; }
    QString playbackStatus() const;
    // The picture as the current track, with the track that plays; empty without a picture.
    QVariantMap metadata() const;

signals:
    // What the desktop asks for.
    void playPauseRequested();
    void playRequested();
    void pauseRequested();
    void nextRequested();
    void stopRequested();
    void raiseRequested();
    void quitRequested();
    void fullscreenRequested(bool fullscreen);

private:
    // The properties of the player's and of the root interface that differ from before's.
    QVariantMap changedPlayerProperties(const Show &before) const;
    QVariantMap changedRootProperties(const Show &before) const;
    void announce(const char *interface, const QVariantMap &changed);

    QString m_identity;
    QString m_desktopEntry;
    QString m_serviceName;
    Show m_show;
    quint64 m_pictureNumber = 0; // counts the pictures shown, for the tracks' ids
};
