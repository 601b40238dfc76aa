#include "remote/mprisplayer.h"

#include "remote/mprisplayeradaptor.h"
#include "remote/mprisrootadaptor.h"
#include "runtime/paths.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QUrl>

namespace {

// Where the pictures' ids live: under the program's own name, as MPRIS keeps the paths under
// /org/mpris for its own use.
constexpr const char *PicturePathPrefix = "/io/github/torvex/album/picture/";

// How long the program waits for the bus before it ends, milliseconds.
constexpr int FlushTimeoutMs = 1000;

QString statusText(MprisPlayer::Status status)
{
    switch (status) {
    case MprisPlayer::Status::Playing:
        return QStringLiteral("Playing");
    case MprisPlayer::Status::Paused:
        return QStringLiteral("Paused");
    case MprisPlayer::Status::Stopped:
        break;
    }
    return QStringLiteral("Stopped");
}

// A file's URL: its path's bytes, percent-encoded, so that a name that is no UTF-8 keeps them.
QString fileUrl(const QString &path)
{
    const QByteArray bytes = Paths::toFileSystem(path);
    const QByteArray scheme = bytes.startsWith('/') ? "file://" : "file:";
    return QUrl::fromEncoded(scheme + bytes.toPercentEncoding("/")).toString();
}

// A file's name as the desktop shows it: text on the bus is UTF-8, with U+FFFD for stray bytes.
QString shownName(const QString &path)
{
    return Paths::forDisplay(Paths::fileNameOf(path));
}

} // namespace

MprisPlayer::MprisPlayer(const QString &identity, const QString &desktopEntry, QObject *parent)
    : QObject(parent), m_identity(identity), m_desktopEntry(desktopEntry)
{
    new MprisRootAdaptor(this);
    new MprisPlayerAdaptor(this);

    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    if (!bus.registerObject(QString::fromLatin1(ObjectPath), this, QDBusConnection::ExportAdaptors))
        return;
    // A second Album beside the first takes a name of its own, as the desktop's controls
    // expect of a player that runs more than once.
    const QString name = QString::fromLatin1(ServicePrefix) + desktopEntry;
    const QString instanceName =
        name + QStringLiteral(".instance%1").arg(QCoreApplication::applicationPid());
    for (const QString &candidate : {name, instanceName}) {
        if (bus.registerService(candidate)) {
            m_serviceName = candidate;
            return;
        }
    }
    bus.unregisterObject(QString::fromLatin1(ObjectPath));
}

MprisPlayer::~MprisPlayer()
{
    if (!isRegistered())
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.unregisterService(m_serviceName);
    bus.unregisterObject(QString::fromLatin1(ObjectPath));
}

QString MprisPlayer::playbackStatus() const
{
    return statusText(m_show.status);
}

QVariantMap MprisPlayer::metadata() const
{
    QVariantMap data;
    if (m_show.picturePath.isEmpty())
        return data;
    data.insert(QStringLiteral("mpris:trackid"),
                QVariant::fromValue(QDBusObjectPath(QString::fromLatin1(PicturePathPrefix) +
                                                    QString::number(m_pictureNumber))));
    data.insert(QStringLiteral("xesam:title"), shownName(m_show.picturePath));
    data.insert(QStringLiteral("mpris:artUrl"), fileUrl(m_show.picturePath));
    if (!m_show.trackPath.isEmpty()) {
        data.insert(QStringLiteral("xesam:album"), shownName(m_show.trackPath));
        data.insert(QStringLiteral("xesam:url"), fileUrl(m_show.trackPath));
    }
    return data;
}

void MprisPlayer::setShow(const Show &show)
{
    if (show == m_show)
        return;
    const Show before = m_show;
    m_show = show;
    if (show.picturePath != before.picturePath)
        ++m_pictureNumber;
    if (!isRegistered())
        return;
    announce(PlayerInterface, changedPlayerProperties(before));
    announce(RootInterface, changedRootProperties(before));
}

void MprisPlayer::announce(const char *interface, const QVariantMap &changed)
{
    if (changed.isEmpty())
        return;
    QDBusMessage message = QDBusMessage::createSignal(
        QString::fromLatin1(ObjectPath), QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("PropertiesChanged"));
    message << QString::fromLatin1(interface) << changed << QStringList();
    QDBusConnection::sessionBus().send(message);
}

void MprisPlayer::flush()
{
    if (!isRegistered())
        return;
    // The bus reads a connection's messages in order: once it has answered this one, it has
    // all those sent before.
    const QDBusMessage ping = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus.Peer"), QStringLiteral("Ping"));
    QDBusConnection::sessionBus().call(ping, QDBus::Block, FlushTimeoutMs);
}

QVariantMap MprisPlayer::changedRootProperties(const Show &before) const
{
    QVariantMap changed;
    if (m_show.canSetFullscreen != before.canSetFullscreen)
        changed.insert(QStringLiteral("CanSetFullscreen"), m_show.canSetFullscreen);
    if (m_show.fullscreen != before.fullscreen)
        changed.insert(QStringLiteral("Fullscreen"), m_show.fullscreen);
    return changed;
}

QVariantMap MprisPlayer::changedPlayerProperties(const Show &before) const
{
    QVariantMap changed;
    if (m_show.status != before.status)
        changed.insert(QStringLiteral("PlaybackStatus"), playbackStatus());
    if (m_show.canPlay != before.canPlay)
        changed.insert(QStringLiteral("CanPlay"), m_show.canPlay);
    if (m_show.canPause != before.canPause)
        changed.insert(QStringLiteral("CanPause"), m_show.canPause);
    if (m_show.canGoNext != before.canGoNext)
        changed.insert(QStringLiteral("CanGoNext"), m_show.canGoNext);
    if (m_show.picturePath != before.picturePath || m_show.trackPath != before.trackPath)
        changed.insert(QStringLiteral("Metadata"), metadata());
    return changed;
}
