#include "remote/mprisplayer.h"
#include "desktop/screensaverinhibitor.h"
#include "viewer/viewerwindow.h"

#include "support/showfixture.h"
#include "support/testfiles.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QFileInfo>
#include <QMutex>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <cstring>
#include <memory>

namespace {

constexpr const char *ShowWithoutBusArgument = "--show-without-bus";
constexpr const char *FakeConnectionName = "fakeScreenSaver";
constexpr const char *ControlsConnectionName = "desktopControls";

void writePictures(const QString &folder, int count)
{
    const QColor colours[] = {Qt::red, Qt::green, Qt::blue, Qt::yellow};
    for (int i = 0; i < count; ++i)
        TestFiles::writePicture(folder + QStringLiteral("/P%1.JPG").arg(i + 1), 60, 40,
                                colours[i % 4], "JPEG");
}

void clickBackground(LARK_M7 *viewer)
{
    QTest::mouseClick(viewer, Qt::LeftButton, {}, QPoint(viewer->width() - 3, 3));
}

} // namespace

// The desktop's screen saver as the program sees it on the bus: hands out cookies and
// records every call. It lives in a thread of its own, so that it answers also while the
// program waits for it.
class FakeScreenSaver : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")

public:
    struct Call
    {
        QString method;
        QString application;
        QString reason;
        uint cookie = 0;
    };

    QList<Call> calls() const
    {
        QMutexLocker lock(&m_mutex);
        return m_calls;
    }
    int held() const
    {
        QMutexLocker lock(&m_mutex);
        return int(m_held.size());
    }
    int strayReleases() const
    {
        QMutexLocker lock(&m_mutex);
        return m_stray;
    }
    void reset()
    {
        QMutexLocker lock(&m_mutex);
        m_calls.clear();
        m_held.clear();
        m_stray = 0;
    }

public slots:
    uint Inhibit(const QString &application, const QString &reason)
    {
        QMutexLocker lock(&m_mutex);
        const uint cookie = ++m_lastCookie;
        m_held.insert(cookie);
        m_calls << Call{QStringLiteral("Inhibit"), application, reason, cookie};
        return cookie;
    }
    void UnInhibit(uint cookie)
    {
        QMutexLocker lock(&m_mutex);
        m_calls << Call{QStringLiteral("UnInhibit"), {}, {}, cookie};
        if (!m_held.remove(cookie))
            ++m_stray;
    }

private:
    mutable QMutex m_mutex;
    QList<Call> m_calls;
    QSet<uint> m_held;
    uint m_lastCookie = 41;
    int m_stray = 0;
};

class ScreenSaverTest : public QObject
{
    Q_OBJECT

public slots:
    // What the desktop's media controls hear of the player.
    void playerPropertiesChanged(const QString &interface, const QVariantMap &changed,
                                 const QStringList &invalidated);

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void withoutTheServiceAShowRunsQuietly();
    void aShowKeepsTheScreenAwakeFromItsStartToItsEnd();
    void pauseLetsTheScreenSleepAndContinueKeepsItAwakeAgain();
    void leavingTheViewerLetsTheScreenSleepAtOnce();
    void answersArrivingAfterTheRequestChangedAreSettled();
    void theEndOfTheProgramReleasesTheScreen();
    void withoutABusNothingIsPrinted_data();
    void withoutABusNothingIsPrinted();
    void theDesktopsMediaControlsPauseContinueAndLeaveTheShow_data();
    void theDesktopsMediaControlsPauseContinueAndLeaveTheShow();
    void aPhonePutsTheShowOnTheWholeScreen();

private:
    void needBus();
    QStringList methods() const;
    // Sends a command to the player as the desktop's controls do, not waiting for it.
    void sendToPlayer(const QString &method);
    // A property of the player, read over the bus as the desktop's controls read it.
    QVariant playerProperty(const char *interface, const QString &name);
    QVariantMap m_announced;     // the player's properties as PropertiesChanged told them
    QStringList m_statusesHeard; // every PlaybackStatus announced, in order

    QProcess m_daemon;
    QString m_address;
    QThread m_serviceThread;
    FakeScreenSaver *m_fake = nullptr;
    std::unique_ptr<QTemporaryDir> m_dir;
};

void ScreenSaverTest::initTestCase()
{
    const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
    if (daemon.isEmpty())
        return; // the tests that need a bus skip themselves
    // A private session bus, so that the test neither depends on nor disturbs the desktop's.
    m_daemon.start(daemon, {QStringLiteral("--session"), QStringLiteral("--nofork"),
                            QStringLiteral("--nopidfile"), QStringLiteral("--print-address")});
    QVERIFY2(m_daemon.waitForStarted(5000), qPrintable(m_daemon.errorString()));
    while (!m_daemon.canReadLine())
        QVERIFY2(m_daemon.waitForReadyRead(5000), "dbus-daemon gave no address");
    m_address = QString::fromUtf8(m_daemon.readLine().trimmed());
    QVERIFY(!m_address.isEmpty());
    // The program's session bus is the private one: nothing has asked for it yet.
    qputenv("DBUS_SESSION_BUS_ADDRESS", m_address.toUtf8());

    m_fake = new FakeScreenSaver;
    m_fake->moveToThread(&m_serviceThread);
    m_serviceThread.start();
    QDBusConnection service =
        QDBusConnection::connectToBus(m_address, QString::fromLatin1(FakeConnectionName));
    QVERIFY(service.isConnected());
    QVERIFY(service.registerObject(QString::fromLatin1(ScreenSaverInhibitor::Path), m_fake,
                                   QDBusConnection::ExportAllSlots));
    QVERIFY(QDBusConnection::sessionBus().isConnected());
    QVERIFY(QDBusConnection::sessionBus().interface()->isServiceRegistered(service.baseService()));

    // The desktop's media controls: a connection of their own, listening to every player.
    // QtDBus binds bus signals to slots by their signatures only.
    QDBusConnection controls =
        QDBusConnection::connectToBus(m_address, QString::fromLatin1(ControlsConnectionName));
    QVERIFY(controls.connect(QString(), QString::fromLatin1(MprisPlayer::ObjectPath),
                             QStringLiteral("org.freedesktop.DBus.Properties"),
                             QStringLiteral("PropertiesChanged"), this,
                             SLOT(playerPropertiesChanged(QString, QVariantMap, QStringList))));
}

void ScreenSaverTest::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
}

void ScreenSaverTest::cleanup()
{
    if (m_fake) {
        QDBusConnection(QString::fromLatin1(FakeConnectionName))
            .unregisterService(QString::fromLatin1(ScreenSaverInhibitor::Service));
        m_fake->reset();
    }
}

void ScreenSaverTest::cleanupTestCase()
{
    if (m_fake) {
        QDBusConnection::disconnectFromBus(QString::fromLatin1(ControlsConnectionName));
        QDBusConnection::disconnectFromBus(QString::fromLatin1(FakeConnectionName));
        m_serviceThread.quit();
        m_serviceThread.wait();
        delete m_fake;
        m_fake = nullptr;
    }
    m_daemon.kill();
    m_daemon.waitForFinished(5000);
}

// The private bus with the fake service on it.
void ScreenSaverTest::needBus()
{
    if (!m_fake)
        QSKIP("dbus-daemon is not installed");
    QVERIFY(QDBusConnection(QString::fromLatin1(FakeConnectionName))
                .registerService(QString::fromLatin1(ScreenSaverInhibitor::Service)));
}

QStringList ScreenSaverTest::methods() const
{
    QStringList names;
    for (const FakeScreenSaver::Call &call : m_fake->calls())
        names << call.method;
    return names;
}

void ScreenSaverTest::withoutTheServiceAShowRunsQuietly()
{
    if (!m_fake)
        QSKIP("dbus-daemon is not installed");
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
    writePictures(m_dir->path(), 2);
    ShowFixture show;
    bool wantedDuringShow = false;
    show.confirmShow(m_dir->path(), QStringLiteral("0.1"));
    connect(show.viewer(), &QWidget::windowTitleChanged, this,
            [&] { wantedDuringShow = show.app->screenSaver().isWanted(); });
    QVERIFY(show.waitForShowEnd());
    QCOMPARE(show.captions.size(), 2);
    QVERIFY(wantedDuringShow);
    QVERIFY(!show.app->screenSaver().isHeld());
    QVERIFY(m_fake->calls().isEmpty());
}

void ScreenSaverTest::aShowKeepsTheScreenAwakeFromItsStartToItsEnd()
{
    needBus();
    writePictures(m_dir->path(), 3);
    ShowFixture show;
    QList<int> heldAtCaption;
    show.confirmShow(m_dir->path(), QStringLiteral("0.3"));
    connect(show.viewer(), &QWidget::windowTitleChanged, this,
            [&] { heldAtCaption << m_fake->held(); });
    QVERIFY(show.waitForShowEnd());
    QCOMPARE(show.captions.size(), 3);
    // The request goes out as the loop starts; by the second picture it has surely arrived.
    QCOMPARE(heldAtCaption.size(), 3);
    QCOMPARE(heldAtCaption.mid(1), (QList<int>{1, 1}));

    QTRY_COMPARE(m_fake->held(), 0);
    const QList<FakeScreenSaver::Call> calls = m_fake->calls();
    QCOMPARE(methods(), (QStringList{"Inhibit", "UnInhibit"}));
    QVERIFY(!calls[0].application.isEmpty());
    QVERIFY(!calls[0].reason.isEmpty());
    QCOMPARE(calls[1].cookie, calls[0].cookie);
    QVERIFY(!show.app->screenSaver().isHeld());
}

void ScreenSaverTest::pauseLetsTheScreenSleepAndContinueKeepsItAwakeAgain()
{
    needBus();
    writePictures(m_dir->path(), 4);
    ShowFixture show;
    QTimer::singleShot(400, &show,
                       [&] { QTest::mouseClick(show.viewer()->Command3, Qt::LeftButton); });
    show.confirmShow(m_dir->path(), QStringLiteral("0.3"), /*cyclic*/ true);
    QVERIFY(show.waitForShowEnd());
    QCOMPARE(show.captions.size(), 2);
    // Paused: the screen may blank again.
    QTRY_COMPARE(m_fake->held(), 0);
    QCOMPARE(methods(), (QStringList{"Inhibit", "UnInhibit"}));

    // A click on the background goes on; the rest of the pass runs inside the click.
    int heldWhileGoingOn = -1;
    QTimer::singleShot(200, &show, [&] { heldWhileGoingOn = m_fake->held(); });
    clickBackground(show.viewer());
    QCOMPARE(show.captions.size(), 4);
    QCOMPARE(heldWhileGoingOn, 1);
    QTRY_COMPARE(m_fake->held(), 0);
    const QList<FakeScreenSaver::Call> calls = m_fake->calls();
    QCOMPARE(methods(), (QStringList{"Inhibit", "UnInhibit", "Inhibit", "UnInhibit"}));
    QCOMPARE(calls[3].cookie, calls[2].cookie);
    QVERIFY(calls[2].cookie != calls[0].cookie);
    QCOMPARE(m_fake->strayReleases(), 0);
}

void ScreenSaverTest::leavingTheViewerLetsTheScreenSleepAtOnce()
{
    needBus();
    writePictures(m_dir->path(), 3);
    ShowFixture show;
    int heldWhenLeft = -1;
    int loopsWhenLeft = -1;
    bool wantedAfterLeaving = true;
    QTimer::singleShot(300, &show, [&] {
        heldWhenLeft = m_fake->held();
        LARK_M7 *viewer = show.viewer();
        loopsWhenLeft = viewer->activeLoops();
        // Closed by its frame while the show runs, as "USCITA" is hidden then.
        viewer->close();
        wantedAfterLeaving = show.app->screenSaver().isWanted();
    });
    show.confirmShow(m_dir->path(), QStringLiteral("10"), /*cyclic*/ true);
    QTRY_VERIFY(!show.viewer());
    // Released as the viewer went, while its loop was still on the stack.
    QCOMPARE(heldWhenLeft, 1);
    QCOMPARE(loopsWhenLeft, 1);
    QVERIFY(!wantedAfterLeaving);
    QTRY_COMPARE(m_fake->held(), 0);
    QCOMPARE(methods(), (QStringList{"Inhibit", "UnInhibit"}));
    QCOMPARE(m_fake->strayReleases(), 0);
}

void ScreenSaverTest::answersArrivingAfterTheRequestChangedAreSettled()
{
    needBus();
    {
        // Let go before the cookie came: released as soon as it comes.
        ScreenSaverInhibitor inhibitor;
        inhibitor.setInhibited(true);
        inhibitor.setInhibited(false);
        QTRY_COMPARE(methods(), (QStringList{"Inhibit", "UnInhibit"}));
        QCOMPARE(m_fake->held(), 0);
        QVERIFY(!inhibitor.isHeld());
    }
    m_fake->reset();
    {
        // Off and on again while the answer is on its way: one inhibition, kept.
        ScreenSaverInhibitor inhibitor;
        inhibitor.setInhibited(true);
        inhibitor.setInhibited(false);
        inhibitor.setInhibited(true);
        QTRY_VERIFY(inhibitor.isHeld());
        QTest::qWait(50);
        QCOMPARE(methods(), QStringList{"Inhibit"});
        QCOMPARE(m_fake->held(), 1);
        // Asking twice does not stack inhibitions.
        inhibitor.setInhibited(true);
        QTest::qWait(50);
        QCOMPARE(m_fake->held(), 1);
        inhibitor.setInhibited(false);
        QTRY_COMPARE(m_fake->held(), 0);
    }
    QCOMPARE(m_fake->strayReleases(), 0);
}

void ScreenSaverTest::theEndOfTheProgramReleasesTheScreen()
{
    needBus();
    auto inhibitor = std::make_unique<ScreenSaverInhibitor>();
    inhibitor->setInhibited(true);
    QTRY_VERIFY(inhibitor->isHeld());
    QCOMPARE(m_fake->held(), 1);
    // No event is handled in between: the release was sent and answered on the way out.
    inhibitor.reset();
    QCOMPARE(m_fake->held(), 0);

    // Ending while the request is still on its way releases all the same.
    m_fake->reset();
    inhibitor = std::make_unique<ScreenSaverInhibitor>();
    inhibitor->setInhibited(true);
    inhibitor.reset();
    QCOMPARE(methods(), (QStringList{"Inhibit", "UnInhibit"}));
    QCOMPARE(m_fake->held(), 0);
    QCOMPARE(m_fake->strayReleases(), 0);
}

void ScreenSaverTest::withoutABusNothingIsPrinted_data()
{
    QTest::addColumn<QString>("address");
    QTest::newRow("no session bus") << QString();
    QTest::newRow("a bus that is gone") << QStringLiteral("unix:path=%1/gone");
}

void ScreenSaverTest::withoutABusNothingIsPrinted()
{
    QFETCH(QString, address);
    writePictures(m_dir->path(), 2);
    QTemporaryDir runtimeDir; // an empty runtime folder: no bus socket to be found there
    QVERIFY(QFile::setPermissions(runtimeDir.path(),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DBUS_SESSION_BUS_ADDRESS", "DISPLAY", "WAYLAND_DISPLAY"})
        environment.remove(QString::fromLatin1(name));
    if (!address.isEmpty())
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                           address.arg(runtimeDir.path()));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDir.path());
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));

    // The same program, run as a show with nothing but its own output watched.
    QProcess child;
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(),
                {QString::fromLatin1(ShowWithoutBusArgument), m_dir->path()});
    QVERIFY(child.waitForFinished(60000));
    const QByteArray output = child.readAllStandardOutput() + child.readAllStandardError();
    QVERIFY2(output.isEmpty(), output.constData());
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), 0);
}

void ScreenSaverTest::playerPropertiesChanged(const QString &interface, const QVariantMap &changed,
                                              const QStringList &)
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

void ScreenSaverTest::sendToPlayer(const QString &method)
{
    QDBusConnection(QString::fromLatin1(ControlsConnectionName))
        .send(QDBusMessage::createMethodCall(QStringLiteral("org.mpris.MediaPlayer2.album"),
                                             QString::fromLatin1(MprisPlayer::ObjectPath),
                                             QString::fromLatin1(MprisPlayer::PlayerInterface),
                                             method));
}

QVariant ScreenSaverTest::playerProperty(const char *interface, const QString &name)
{
    QDBusMessage get = QDBusMessage::createMethodCall(
        QStringLiteral("org.mpris.MediaPlayer2.album"),
        QString::fromLatin1(MprisPlayer::ObjectPath),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << QString::fromLatin1(interface) << name;
    // The player answers from this thread: the call serves its events while it waits.
    const QDBusMessage reply =
        QDBusConnection(QString::fromLatin1(ControlsConnectionName)).call(get, QDBus::BlockWithGui);
    return reply.arguments().value(0).value<QDBusVariant>().variant();
}

void ScreenSaverTest::theDesktopsMediaControlsPauseContinueAndLeaveTheShow_data()
{
    QTest::addColumn<QString>("pause");
    QTest::addColumn<QString>("goOn");
    QTest::newRow("play/pause key") << QStringLiteral("PlayPause") << QStringLiteral("PlayPause");
    QTest::newRow("pause, play") << QStringLiteral("Pause") << QStringLiteral("Play");
    QTest::newRow("pause, next") << QStringLiteral("Pause") << QStringLiteral("Next");
}

void ScreenSaverTest::theDesktopsMediaControlsPauseContinueAndLeaveTheShow()
{
    QFETCH(QString, pause);
    QFETCH(QString, goOn);
    if (!m_fake)
        QSKIP("dbus-daemon is not installed");
    writePictures(m_dir->path(), 5);
    TestFiles::writeBytes(m_dir->filePath(QStringLiteral("P1.MP3")), "ID3");
    ShowFixture show;
    const char *root = MprisPlayer::RootInterface;
    const char *player = MprisPlayer::PlayerInterface;
    QCOMPARE(playerProperty(root, QStringLiteral("Identity")), QVariant(QStringLiteral("Album")));
    QCOMPARE(playerProperty(root, QStringLiteral("DesktopEntry")),
             QVariant(QStringLiteral("album")));
    QCOMPARE(playerProperty(player, QStringLiteral("PlaybackStatus")),
             QVariant(QStringLiteral("Stopped")));
    // What earlier shows announced has arrived by now.
    m_announced.clear();
    m_statusesHeard.clear();

    // Paused from the desktop as the second picture comes; it stays on screen.
    show.confirmShow(m_dir->path(), QStringLiteral("0.3"));
    connect(show.viewer(), &QWidget::windowTitleChanged, this, [&] {
        if (show.captions.size() == 2)
            sendToPlayer(pause);
    });
    QVERIFY(show.waitForShowEnd());
    QTRY_COMPARE(m_announced.value(QStringLiteral("PlaybackStatus")).toString(),
                 QStringLiteral("Paused"));
    const qsizetype shownWhenPaused = show.captions.size();
    QVERIFY(shownWhenPaused < 5);
    QCOMPARE(show.state().ShowRunning, 0);
    QCOMPARE(show.viewer()->Command3->text(), QStringLiteral("Continua"));
    QVERIFY(m_announced.value(QStringLiteral("CanGoNext")).toBool());
    const QVariantMap metadata = m_announced.value(QStringLiteral("Metadata")).toMap();
    QCOMPARE(metadata.value(QStringLiteral("xesam:title")).toString(),
             QFileInfo(show.captions.last()).fileName());
    QCOMPARE(metadata.value(QStringLiteral("mpris:artUrl")).toString(),
             QUrl::fromLocalFile(show.captions.last()).toString());
    QCOMPARE(metadata.value(QStringLiteral("xesam:url")).toString(),
             QUrl::fromLocalFile(m_dir->filePath(QStringLiteral("P1.MP3"))).toString());
    QVERIFY(metadata.value(QStringLiteral("mpris:trackid")).canConvert<QDBusObjectPath>());

    // Continued from the desktop: the next picture comes; then stopped, which leaves the viewer.
    connect(show.viewer(), &QWidget::windowTitleChanged, this,
            [&] { sendToPlayer(QStringLiteral("Stop")); });
    sendToPlayer(goOn);
    QTRY_VERIFY(!show.viewer());
    QCOMPARE(show.captions.size(), shownWhenPaused + 1);
    QTRY_COMPARE(m_statusesHeard, (QStringList{"Playing", "Paused", "Playing", "Stopped"}));
    QVERIFY(m_announced.value(QStringLiteral("Metadata")).toMap().isEmpty());
}

void ScreenSaverTest::aPhonePutsTheShowOnTheWholeScreen()
{
    if (!m_fake)
        QSKIP("dbus-daemon is not installed");
    writePictures(m_dir->path(), 2);
    ShowFixture show;
    m_announced.clear();
    show.confirmShow(m_dir->path(), QStringLiteral("0.3"));
    QTRY_VERIFY(m_announced.value(QStringLiteral("CanSetFullscreen")).toBool());
    QDBusMessage set = QDBusMessage::createMethodCall(
        QStringLiteral("org.mpris.MediaPlayer2.album"), QString::fromLatin1(MprisPlayer::ObjectPath),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Set"));
    set << QString::fromLatin1(MprisPlayer::RootInterface) << QStringLiteral("Fullscreen")
        << QVariant::fromValue(QDBusVariant(true));
    QDBusConnection(QString::fromLatin1(ControlsConnectionName)).send(set);
    QTRY_VERIFY(show.viewer()->isFullScreen());
    QTRY_VERIFY(m_announced.value(QStringLiteral("Fullscreen")).toBool());
}

// The child's part: a show of the pictures of folder. Exits 0 when it ran through, asked for
// the screen to stay awake, and holds no inhibition.
static int showWithoutBus(const QString &folder)
{
    ShowFixture show;
    bool wanted = false;
    show.confirmShow(folder, QStringLiteral("0.1"));
    QObject::connect(show.viewer(), &QWidget::windowTitleChanged, &show,
                     [&] { wanted = show.app->screenSaver().isWanted(); });
    if (!show.waitForShowEnd() || show.captions.size() != 2)
        return 1;
    if (!wanted || show.app->screenSaver().isHeld())
        return 2;
    return 0;
}

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    application.setAttribute(Qt::AA_Use96Dpi, true);
    if (argc == 3 && std::strcmp(argv[1], ShowWithoutBusArgument) == 0)
        return showWithoutBus(QString::fromLocal8Bit(argv[2]));
    ScreenSaverTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_screensaver.moc"
