#pragma once

#include <QDBusAbstractAdaptor>
#include <QDBusObjectPath>
#include <QVariantMap>

class MprisPlayer;

// The player interface on the bus: the show's status, its picture and track, and the
// commands. A show has no position and no speed of its own: seeking does nothing and the
// rate stays 1.
class MprisPlayerAdaptor : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ playbackStatus)
    Q_PROPERTY(QVariantMap Metadata READ metadata)
    Q_PROPERTY(double Rate READ rate)
    Q_PROPERTY(double MinimumRate READ rate)
    Q_PROPERTY(double MaximumRate READ rate)
    Q_PROPERTY(qlonglong Position READ position)
    Q_PROPERTY(bool CanGoNext READ canGoNext)
    Q_PROPERTY(bool CanGoPrevious READ canGoPrevious)
    Q_PROPERTY(bool CanPlay READ canPlay)
    Q_PROPERTY(bool CanPause READ canPause)
    Q_PROPERTY(bool CanSeek READ canSeek)
    Q_PROPERTY(bool CanControl READ canControl)

public:
    explicit MprisPlayerAdaptor(MprisPlayer *player);

    QString playbackStatus() const;
    QVariantMap metadata() const;
    double rate() const { return 1.0; }
    qlonglong position() const { return 0; } // microseconds
    bool canGoNext() const;
    bool canGoPrevious() const { return false; }
    bool canPlay() const;
    bool canPause() const;
    bool canSeek() const { return false; }
    bool canControl() const { return true; }

public slots:
    void PlayPause();
    void Play();
    void Pause();
    void Next();
    void Stop();
    // The show cannot go back, nor be opened, moved or searched from the bus.
    void Previous() {}
    void Seek(qlonglong) {}
    void SetPosition(const QDBusObjectPath &, qlonglong) {}
    void OpenUri(const QString &) {}

signals:
    void Seeked(qlonglong Position); // never sent: the show has no position

private:
    MprisPlayer &m_player;
};
