// The screen stays awake while a show runs, through the desktop's ScreenSaver service on a
// private session bus; without the service or the bus, nothing is said.
#include "desktop/screensaverinhibitor.h"
#include "viewer/viewerwindow.h"

#include "support/sessionbus.h"
#include "support/showfixture.h"
#include "support/testfiles.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QMutex>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <cstring>
#include <memory>

namespace {

constexpr const char *ShowWithoutBusArgument = "--show-without-bus";
constexpr const char *ServiceConnection = "fakeScreenSaver";

} // namespace

// The desktop's screen saver as the program sees it on the bus: hands out cookies and records
// every call. It lives in a thread of its own, so that it answers also while the program waits
// for it.
class FakeScreenSaver : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")

public:
    QStringList methods() const
    {
        QMutexLocker lock(&m_mutex);
        return m_methods;
    }
    QList<uint> cookies() const
    {
        QMutexLocker lock(&m_mutex);
        return m_cookies;
    }
    QStringList applicationAndReason() const
    {
        QMutexLocker lock(&m_mutex);
        return m_first;
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
        m_methods.clear(), m_cookies.clear(), m_held.clear(), m_first.clear();
        m_stray = 0;
    }

public slots:
    uint Inhibit(const QString &application, const QString &reason)
    {
        QMutexLocker lock(&m_mutex);
        if (m_first.isEmpty())
            m_first = {application, reason};
        m_held.insert(++m_lastCookie);
        m_methods << QStringLiteral("Inhibit");
        m_cookies << m_lastCookie;
        return m_lastCookie;
    }
    void UnInhibit(uint cookie)
    {
        QMutexLocker lock(&m_mutex);
        m_methods << QStringLiteral("UnInhibit");
        m_cookies << cookie;
        if (!m_held.remove(cookie))
            ++m_stray;
    }
    // Answered once every call sent before it has been served.
    void Sync() {}

private:
    mutable QMutex m_mutex;
    QStringList m_methods, m_first;
    QList<uint> m_cookies;
    QSet<uint> m_held;
    uint m_lastCookie = 41;
    int m_stray = 0;
};

class ScreenSaverTest : public QObject
{
    Q_OBJECT

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

private:
    void needService();
    // Waits until the service has served every call the program has sent.
    void sync();
    bool held() const { return m_fake->held() == 1; }

    SessionBus m_bus;
    QString m_noBus;
    QThread m_serviceThread;
    FakeScreenSaver *m_fake = nullptr;
    std::unique_ptr<QTemporaryDir> m_dir;
};

void ScreenSaverTest::initTestCase()
{
    m_noBus = m_bus.start();
    if (!m_noBus.isEmpty())
        return; // the tests that need a bus skip themselves
    m_fake = new FakeScreenSaver;
    m_fake->moveToThread(&m_serviceThread);
    m_serviceThread.start();
    QDBusConnection service =
        QDBusConnection::connectToBus(m_bus.address, QString::fromLatin1(ServiceConnection));
    QVERIFY(service.registerObject(QString::fromLatin1(ScreenSaverInhibitor::Path), m_fake,
                                   QDBusConnection::ExportAllSlots));
    QVERIFY(QDBusConnection::sessionBus().interface()->isServiceRegistered(service.baseService()));
}

void ScreenSaverTest::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
}

void ScreenSaverTest::cleanup()
{
    if (!m_fake)
        return;
    QDBusConnection(QString::fromLatin1(ServiceConnection))
        .unregisterService(QString::fromLatin1(ScreenSaverInhibitor::Service));
    m_fake->reset();
}

void ScreenSaverTest::cleanupTestCase()
{
    if (!m_fake)
        return;
    QDBusConnection::disconnectFromBus(QString::fromLatin1(ServiceConnection));
    m_serviceThread.quit();
    m_serviceThread.wait();
    delete m_fake;
}

void ScreenSaverTest::needService()
{
    if (!m_fake)
        QSKIP(qPrintable(m_noBus));
    QVERIFY(QDBusConnection(QString::fromLatin1(ServiceConnection))
                .registerService(QString::fromLatin1(ScreenSaverInhibitor::Service)));
}

void ScreenSaverTest::sync()
{
    const QDBusMessage reply = QDBusConnection::sessionBus().call(QDBusMessage::createMethodCall(
        QString::fromLatin1(ScreenSaverInhibitor::Service),
        QString::fromLatin1(ScreenSaverInhibitor::Path),
        QString::fromLatin1(ScreenSaverInhibitor::Interface), QStringLiteral("Sync")));
    QCOMPARE(reply.type(), QDBusMessage::ReplyMessage);
}

void ScreenSaverTest::withoutTheServiceAShowRunsQuietly()
{
    if (!m_fake)
        QSKIP(qPrintable(m_noBus));
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
    TestFiles::writePictures(m_dir->path(), 2);
    ShowFixture show;
    bool wantedDuringShow = false;
    show.clock.at(100, [&] { wantedDuringShow = show.app->screenSaver().isWanted(); });
    show.confirmShow(m_dir->path(), QStringLiteral("0.2"));
    QVERIFY(show.waitForShowEnd());
    QCOMPARE(show.captions.size(), 2);
    QVERIFY(wantedDuringShow);
    QVERIFY(!show.app->screenSaver().isHeld());
    QVERIFY(m_fake->methods().isEmpty());
}

void ScreenSaverTest::aShowKeepsTheScreenAwakeFromItsStartToItsEnd()
{
    needService();
    TestFiles::writePictures(m_dir->path(), 3);
    ShowFixture show;
    QList<int> heldAtCaption;
    // The request goes out as the loop starts; the first wait lasts until it has arrived.
    show.clock.when([this] { return held(); }, [] {});
    show.confirmShow(m_dir->path(), QStringLiteral("0.3"));
    connect(show.viewer(), &QWidget::windowTitleChanged, this,
            [&] { heldAtCaption << m_fake->held(); });
    QVERIFY(show.waitForShowEnd());
    QCOMPARE(heldAtCaption.mid(1), (QList<int>{1, 1}));
    QTRY_COMPARE(m_fake->held(), 0);
    QCOMPARE(m_fake->methods(), (QStringList{"Inhibit", "UnInhibit"}));
    QCOMPARE(m_fake->cookies()[1], m_fake->cookies()[0]);
    const QStringList applicationAndReason = m_fake->applicationAndReason();
    QVERIFY(applicationAndReason.size() == 2 && !applicationAndReason.contains(QString()));
    QVERIFY(!show.app->screenSaver().isHeld());
}

void ScreenSaverTest::pauseLetsTheScreenSleepAndContinueKeepsItAwakeAgain()
{
    needService();
    TestFiles::writePictures(m_dir->path(), 4);
    ShowFixture show;
    show.clock.at(400, [&] { ShowFixture::click(show.viewer()->Command3); });
    show.confirmShow(m_dir->path(), QStringLiteral("0.3"), /*cyclic*/ true);
    QVERIFY(show.waitForShowEnd());
    QCOMPARE(show.captions.size(), 2);
    // Paused: the screen may blank again, once the calls have reached the service.
    QTRY_COMPARE(m_fake->methods(), (QStringList{"Inhibit", "UnInhibit"}));
    QCOMPARE(m_fake->held(), 0);

    // A click on the background goes on; the rest of the pass runs inside the click, with the
    // screen kept awake again.
    bool heldWhileGoingOn = false;
    show.clock.when([this] { return held(); }, [&] { heldWhileGoingOn = true; });
    show.clickBackground();
    QCOMPARE(show.captions.size(), 4);
    QVERIFY(heldWhileGoingOn);
    QTRY_COMPARE(m_fake->methods(), (QStringList{"Inhibit", "UnInhibit", "Inhibit", "UnInhibit"}));
    QCOMPARE(m_fake->held(), 0);
    const QList<uint> cookies = m_fake->cookies();
    QVERIFY(cookies[3] == cookies[2] && cookies[2] != cookies[0]);
    QCOMPARE(m_fake->strayReleases(), 0);
}

void ScreenSaverTest::leavingTheViewerLetsTheScreenSleepAtOnce()
{
    needService();
    TestFiles::writePictures(m_dir->path(), 3);
    ShowFixture show;
    int loopsWhenLeft = -1;
    bool wantedAfterLeaving = true;
    show.clock.when([this] { return held(); },
                    [&] {
                        LARK_M7 *viewer = show.viewer();
                        loopsWhenLeft = viewer->activeLoops();
                        // Closed by its frame while the show runs, as "USCITA" is hidden then.
                        viewer->close();
                        wantedAfterLeaving = show.app->screenSaver().isWanted();
                    });
    show.confirmShow(m_dir->path(), QStringLiteral("10"), /*cyclic*/ true);
    QTRY_VERIFY(!show.viewer());
    // Released as the viewer went, while its loop was still on the stack.
    QCOMPARE(loopsWhenLeft, 1);
    QVERIFY(!wantedAfterLeaving);
    QTRY_COMPARE(m_fake->held(), 0);
    QCOMPARE(m_fake->methods(), (QStringList{"Inhibit", "UnInhibit"}));
    QCOMPARE(m_fake->strayReleases(), 0);
}

void ScreenSaverTest::answersArrivingAfterTheRequestChangedAreSettled()
{
    needService();
    {
        // Let go before the cookie came: released as soon as it comes.
        ScreenSaverInhibitor inhibitor;
        inhibitor.setInhibited(true);
        inhibitor.setInhibited(false);
        QTRY_COMPARE(m_fake->methods(), (QStringList{"Inhibit", "UnInhibit"}));
        QCOMPARE(m_fake->held(), 0);
        QVERIFY(!inhibitor.isHeld());
    }
    m_fake->reset();
    {
        // Off and on again while the answer is on its way: one inhibition, kept; asking twice
        // does not stack inhibitions.
        ScreenSaverInhibitor inhibitor;
        inhibitor.setInhibited(true);
        inhibitor.setInhibited(false);
        inhibitor.setInhibited(true);
        QTRY_VERIFY(inhibitor.isHeld());
        inhibitor.setInhibited(true);
        sync();
        QCOMPARE(m_fake->methods(), QStringList{"Inhibit"});
        QCOMPARE(m_fake->held(), 1);
        inhibitor.setInhibited(false);
        QTRY_COMPARE(m_fake->held(), 0);
    }
    QCOMPARE(m_fake->strayReleases(), 0);
}

void ScreenSaverTest::theEndOfTheProgramReleasesTheScreen()
{
    needService();
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
    QCOMPARE(m_fake->methods(), (QStringList{"Inhibit", "UnInhibit"}));
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
    TestFiles::writePictures(m_dir->path(), 2);
    QTemporaryDir runtimeDir; // an empty runtime folder: no bus socket to be found there
    QVERIFY(QFile::setPermissions(runtimeDir.path(),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    if (!address.isEmpty())
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                           address.arg(runtimeDir.path()));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDir.path());

    // The same program, run as a show with its output watched.
    QProcess child;
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(),
                {QString::fromLatin1(ShowWithoutBusArgument), m_dir->path()});
    QVERIFY(child.waitForFinished(60000));
    // Nothing about the bus; what the libraries may say elsewhere is not the program's.
    const QString output = child.readAllStandardOutput() + child.readAllStandardError();
    QVERIFY2(!output.contains(QStringLiteral("bus"), Qt::CaseInsensitive), qPrintable(output));
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), 0);
}

// The child's part: a show of the pictures of folder. Exits 0 when it ran through, asked for
// the screen to stay awake, and holds no inhibition.
static int showWithoutBus(const QString &folder)
{
    ShowFixture show;
    bool wanted = false;
    show.clock.at(100, [&] { wanted = show.app->screenSaver().isWanted(); });
    show.confirmShow(folder, QStringLiteral("0.2"));
    if (!show.waitForShowEnd() || show.captions.size() != 2)
        return 1;
    return !wanted || show.app->screenSaver().isHeld() ? 2 : 0;
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
