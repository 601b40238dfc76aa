// The remote control: the show as a media player on a private session bus (MPRIS), as the
// desktop's media controls see and drive it.
#include "remote/mprisplayer.h"
#include "viewer/viewerwindow.h"

#include "support/sessionbus.h"
#include "support/showfixture.h"
#include "support/testfiles.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QFileInfo>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

namespace {

constexpr const char *ControlsConnection = "desktopControls";
const QString Service = QStringLiteral("org.mpris.MediaPlayer2.album");

} // namespace

class RemoteControlTest : public QObject
{
    Q_OBJECT

public slots:
    // What the desktop's media controls hear of the player.
    void playerPropertiesChanged(const QString &interface, const QVariantMap &changed,
                                 const QStringList &invalidated);

private slots:
    void initTestCase();
    void theDesktopsMediaControlsPauseContinueAndLeaveTheShow_data();
    void theDesktopsMediaControlsPauseContinueAndLeaveTheShow();
    void aPhonePutsTheShowOnTheWholeScreen();

private:
    // Sends a command to the player as the desktop's controls do, not waiting for it.
    void sendToPlayer(const QString &method);
    // A property of the player, read over the bus as the desktop's controls read it.
    QVariant playerProperty(const char *interface, const char *name);

    SessionBus m_bus;
    QVariantMap m_announced;     // the player's properties as PropertiesChanged told them
    QStringList m_statusesHeard; // every PlaybackStatus announced, in order
};

void RemoteControlTest::initTestCase()
{
    const QString why = m_bus.start();
    if (!why.isEmpty())
        QSKIP(qPrintable(why));
    // The desktop's media controls: a connection of their own, listening to every player.
    // QtDBus binds bus signals to slots by their signatures only.
    QDBusConnection controls =
        QDBusConnection::connectToBus(m_bus.address, QString::fromLatin1(ControlsConnection));
    QVERIFY(controls.connect(QString(), QString::fromLatin1(MprisPlayer::ObjectPath),
                             QStringLiteral("org.freedesktop.DBus.Properties"),
                             QStringLiteral("PropertiesChanged"), this,
                             SLOT(playerPropertiesChanged(QString, QVariantMap, QStringList))));
}

void RemoteControlTest::playerPropertiesChanged(const QString &interface,
                                                const QVariantMap &changed, const QStringList &)
{
    if (interface != QLatin1String(MprisPlayer::PlayerInterface) &&
        interface != QLatin1String(MprisPlayer::RootInterface))
        return;
    for (auto it = changed.begin(); it != changed.end(); ++it) {
        // A map inside a variant arrives unread.
        const QVariant value = it.value().canConvert<QDBusArgument>()
                                   ? QVariant(qdbus_cast<QVariantMap>(it.value()))
                                   : it.value();
        m_announced.insert(it.key(), value);
        if (it.key() == QLatin1String("PlaybackStatus"))
            m_statusesHeard << value.toString();
    }
}

void RemoteControlTest::sendToPlayer(const QString &method)
{
    QDBusConnection(QString::fromLatin1(ControlsConnection))
        .send(QDBusMessage::createMethodCall(Service, QString::fromLatin1(MprisPlayer::ObjectPath),
                                             QString::fromLatin1(MprisPlayer::PlayerInterface),
                                             method));
}

QVariant RemoteControlTest::playerProperty(const char *interface, const char *name)
{
    QDBusMessage get = QDBusMessage::createMethodCall(
        Service, QString::fromLatin1(MprisPlayer::ObjectPath),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << QString::fromLatin1(interface) << QString::fromLatin1(name);
    // The player answers from this thread: the call serves its events while it waits.
    const QDBusMessage reply =
        QDBusConnection(QString::fromLatin1(ControlsConnection)).call(get, QDBus::BlockWithGui);
    return reply.arguments().value(0).value<QDBusVariant>().variant();
}

void RemoteControlTest::theDesktopsMediaControlsPauseContinueAndLeaveTheShow_data()
{
    QTest::addColumn<QString>("pause");
    QTest::addColumn<QString>("goOn");
    QTest::newRow("play/pause key") << QStringLiteral("PlayPause") << QStringLiteral("PlayPause");
    QTest::newRow("pause, play") << QStringLiteral("Pause") << QStringLiteral("Play");
    QTest::newRow("pause, next") << QStringLiteral("Pause") << QStringLiteral("Next");
}

void RemoteControlTest::theDesktopsMediaControlsPauseContinueAndLeaveTheShow()
{
    QFETCH(QString, pause);
    QFETCH(QString, goOn);
    QTemporaryDir dir;
    TestFiles::writePictures(dir.path(), 5);
    TestFiles::writeBytes(dir.filePath(QStringLiteral("P1.MP3")), "ID3");
    ShowFixture show;
    const char *root = MprisPlayer::RootInterface;
    const char *player = MprisPlayer::PlayerInterface;
    QCOMPARE(playerProperty(root, "Identity"), QVariant(QStringLiteral("Album")));
    QCOMPARE(playerProperty(root, "DesktopEntry"), QVariant(QStringLiteral("album")));
    QCOMPARE(playerProperty(player, "PlaybackStatus"), QVariant(QStringLiteral("Stopped")));
    // What earlier shows announced has arrived by now.
    m_announced.clear();
    m_statusesHeard.clear();

    // Paused from the desktop as the second picture comes: the picture's wait lasts until the
    // command has come, and the picture stays on screen.
    show.confirmShow(dir.path(), QStringLiteral("0.3"));
    connect(show.viewer(), &QWidget::windowTitleChanged, this, [&] {
        if (show.captions.size() == 2) {
            sendToPlayer(pause);
            show.clock.when([&] { return show.state().ShowRunning == 0; }, [] {});
        }
    });
    QVERIFY(show.waitForShowEnd());
    QTRY_COMPARE(m_announced.value(QStringLiteral("PlaybackStatus")).toString(),
                 QStringLiteral("Paused"));
    QCOMPARE(show.captions.size(), 2);
    QCOMPARE(show.viewer()->Command3->text(), QStringLiteral("Continua"));
    QVERIFY(m_announced.value(QStringLiteral("CanGoNext")).toBool());
    const QVariantMap metadata = m_announced.value(QStringLiteral("Metadata")).toMap();
    QCOMPARE(metadata.value(QStringLiteral("xesam:title")).toString(),
             QFileInfo(show.captions.last()).fileName());
    QCOMPARE(metadata.value(QStringLiteral("mpris:artUrl")).toString(),
             QUrl::fromLocalFile(show.captions.last()).toString());
    QCOMPARE(metadata.value(QStringLiteral("xesam:url")).toString(),
             QUrl::fromLocalFile(dir.filePath(QStringLiteral("P1.MP3"))).toString());
    QVERIFY(metadata.value(QStringLiteral("mpris:trackid")).canConvert<QDBusObjectPath>());

    // Continued from the desktop: the next picture comes; then stopped, which leaves the
    // viewer. (The pause may have come before the picture's wait had a turn.)
    show.clock.dropCues();
    connect(show.viewer(), &QWidget::windowTitleChanged, this, [&] {
        sendToPlayer(QStringLiteral("Stop"));
        show.clock.when([&] { return !show.viewer(); }, [] {});
    });
    sendToPlayer(goOn);
    QTRY_VERIFY(!show.viewer());
    QCOMPARE(show.captions.size(), 3);
    QTRY_COMPARE(m_statusesHeard, (QStringList{"Playing", "Paused", "Playing", "Stopped"}));
    QVERIFY(m_announced.value(QStringLiteral("Metadata")).toMap().isEmpty());
}

void RemoteControlTest::aPhonePutsTheShowOnTheWholeScreen()
{
    QTemporaryDir dir;
    TestFiles::writePictures(dir.path(), 2);
    ShowFixture show;
    m_announced.clear();
    show.confirmShow(dir.path(), QStringLiteral("0.3"));
    QVERIFY(show.waitForShowEnd());
    QTRY_VERIFY(m_announced.value(QStringLiteral("CanSetFullscreen")).toBool());
    QDBusMessage set = QDBusMessage::createMethodCall(
        Service, QString::fromLatin1(MprisPlayer::ObjectPath),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Set"));
    set << QString::fromLatin1(MprisPlayer::RootInterface) << QStringLiteral("Fullscreen")
        << QVariant::fromValue(QDBusVariant(true));
    QDBusConnection(QString::fromLatin1(ControlsConnection)).send(set);
    QTRY_VERIFY(show.viewer()->isFullScreen());
    QTRY_VERIFY(m_announced.value(QStringLiteral("Fullscreen")).toBool());
}

QTEST_MAIN(RemoteControlTest)
#include "tst_remotecontrol.moc"
