#pragma once

#include <QDBusAbstractAdaptor>
#include <QStringList>

class MprisPlayer;

// The player's root interface on the bus: who it is, raise and quit, and the viewer on the
// whole screen, which a phone can switch.
class MprisRootAdaptor : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ canQuit)
    Q_PROPERTY(bool CanRaise READ canRaise)
    Q_PROPERTY(bool HasTrackList READ hasTrackList)
    Q_PROPERTY(QString Identity READ identity)
    Q_PROPERTY(QString DesktopEntry READ desktopEntry)
    Q_PROPERTY(QStringList SupportedUriSchemes READ supportedUriSchemes)
    Q_PROPERTY(QStringList SupportedMimeTypes READ supportedMimeTypes)
    Q_PROPERTY(bool CanSetFullscreen READ canSetFullscreen)
    Q_PROPERTY(bool Fullscreen READ fullscreen WRITE setFullscreen)

public:
    explicit MprisRootAdaptor(MprisPlayer *player);

    bool canQuit() const { return true; }
    bool canRaise() const { return true; }
    bool hasTrackList() const { return false; }
    QString identity() const;
    QString desktopEntry() const;
    // Nothing is opened from the bus: the show's folder is chosen in the setup window.
    QStringList supportedUriSchemes() const { return {}; }
    QStringList supportedMimeTypes() const { return {}; }
    bool canSetFullscreen() const;
    bool fullscreen() const;
    // Asks for it; nothing happens while no viewer is open.
    void setFullscreen(bool fullscreen);

public slots:
    void Raise();
    void Quit();

private:
    MprisPlayer &m_player;
};
