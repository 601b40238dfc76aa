// The commands in bursts during a running show, resizes and confirmations at any time, and
// broken tracks on the real player: the show stays responsive and in bounds throughout.
#include "app/albumapplication.h"
#include "music/qtmediaplayer.h"
#include "setup/setupwindow.h"
#include "viewer/imagecontrol.h"
#include "viewer/viewerwindow.h"

#include "support/audiooutput.h"
#include "support/fakeplatformservices.h"
#include "support/showfixture.h"
#include "support/testfiles.h"

#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QtEndian>

#include <functional>

namespace {

// How long queued events wait while it runs: a timer ticks every 10 ms and posts a call each
// time; the worst delay of a tick past its time, and of a posted call, in milliseconds.
class Responsiveness : public QObject
{
public:
    explicit Responsiveness(QObject *parent) : QObject(parent)
    {
        m_tick.setTimerType(Qt::PreciseTimer);
        m_tick.setInterval(10);
        connect(&m_tick, &QTimer::timeout, this, [this] {
            const qint64 now = m_clock.elapsed();
            if (m_last >= 0)
                worstMs = qMax(worstMs, now - m_last - 10);
            m_last = now;
            QMetaObject::invokeMethod(
                this, [this, now] { worstMs = qMax(worstMs, m_clock.elapsed() - now); },
                Qt::QueuedConnection);
        });
        m_clock.start();
        m_tick.start();
    }
    void stop() { m_tick.stop(); }

    qint64 worstMs = 0;

private:
    QTimer m_tick;
    QElapsedTimer m_clock;
    qint64 m_last = -1;
};

void clickBackground(LARK_M7 *viewer)
{
    QTest::mouseClick(viewer, Qt::LeftButton, {}, QPoint(viewer->width() - 3, 3));
}

// Steps run one after the other from the event loop, each planned before it runs: a step
// that starts a nested picture loop finds the next one served from inside that loop.
class Script : public QObject
{
public:
    using Step = std::function<void()>;
    explicit Script(QObject *parent) : QObject(parent) {}
    // A step added while the script runs comes after the ones planned.
    void add(int gapMs, Step step)
    {
        m_steps.append({gapMs, std::move(step)});
        if (m_started && !m_pending)
            planNext();
    }
    void start()
    {
        m_started = true;
        planNext();
    }
    bool finished() const { return m_next >= m_steps.size(); }

private:
    void planNext()
    {
        m_pending = !finished();
        if (!m_pending)
            return;
        QTimer::singleShot(m_steps[m_next].first, Qt::PreciseTimer, this, [this] {
            const Step step = m_steps[m_next++].second;
            planNext();
            step();
        });
    }
    QList<QPair<int, Step>> m_steps;
    qsizetype m_next = 0;
    bool m_started = false;
    bool m_pending = false;
};

} // namespace

class StressTest : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void burstsOfClicksKeysAndToggles();
    void leavingWhileAPauseIsPendingOverNestedLoops();
    void confirmingWhileAShowRuns_data();
    void confirmingWhileAShowRuns();
    void resizesAndMinimizingDuringTheWaits();
    void brokenTracksOnTheRealPlayer();

private:
    void makePictures(int count, QSize size = {8, 8});

    std::unique_ptr<QTemporaryDir> m_dir;
};

void StressTest::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void StressTest::makePictures(int count, QSize size)
{
    const QColor colours[] = {Qt::red, Qt::green, Qt::blue, Qt::yellow};
    for (int i = 0; i < count; ++i)
        TestFiles::writePicture(m_dir->filePath(QStringLiteral("P%1.JPG").arg(i + 1)), size.width(),
                                size.height(), colours[i % 4], "JPEG");
}

void StressTest::burstsOfClicksKeysAndToggles()
{
    makePictures(1500);
    ShowFixture show;
    auto *responsiveness = new Responsiveness(&show);
    Script script(&show);
    int backgroundClicks = 0, keyPresses = 0, toggles = 0, resumes = 0, deepest = 0;
    const auto viewer = [&show] { return show.viewer(); };
    const auto depth = [&] { deepest = qMax(deepest, viewer()->activeLoops()); };

    // A toggle clicks the pause/continue button; while a pause has hidden it, the user
    // brings the show back with a click on the background first.
    std::function<void()> toggle = [&] {
        depth();
        if (!viewer()->Command3->isVisible()) {
            ++resumes;
            clickBackground(viewer());
            return;
        }
        ++toggles;
        QTest::mouseClick(viewer()->Command3, Qt::LeftButton);
    };
    script.add(100, [] {});
    for (int burst = 0; burst < 10; ++burst) {
        for (int i = 0; i < 50; ++i) {
            script.add(1, [&] {
                depth();
                ++backgroundClicks;
                clickBackground(viewer());
            });
            script.add(1, [&, i] {
                depth();
                ++keyPresses;
                QTest::keyClick(viewer(), Qt::Key(Qt::Key_A + i % 26));
            });
        }
        for (int i = 0; i < 20; ++i)
            script.add(2, toggle);
        script.add(60, [] {});
    }
    // Then toggles until 200 clicks on the button, and a last one that pauses.
    std::function<void()> more = [&] {
        if (toggles < 200) {
            script.add(2, toggle);
            script.add(0, more);
            return;
        }
        script.add(2, [&] {
            QVERIFY(!show.state().CurrentName.isEmpty()); // the show was still running
            if (show.state().ShowRunning == 0 || !viewer()->Command3->isVisible()) {
                // This toggle continues; the next pauses.
                script.add(20, [&] {
                    QCOMPARE(int(show.state().ShowRunning), 1);
                    QTest::mouseClick(viewer()->Command3, Qt::LeftButton);
                });
                toggle();
                return;
            }
            QTest::mouseClick(viewer()->Command3, Qt::LeftButton);
        });
    };
    script.add(0, more);
    script.start();

    show.confirmShow(m_dir->path(), QStringLiteral("0.05"), /*cyclic*/ true);
    QVERIFY(show.waitForShowEnd(120000));
    QTRY_VERIFY(script.finished());
    QVERIFY(show.waitForShowEnd(10000));
    responsiveness->stop();

    qInfo("%d background clicks, %d key presses, %d toggles (%d clicks to resume a paused "
          "show), %lld pictures named, deepest nesting %d, worst wait of a queued event %lld ms",
          backgroundClicks, keyPresses, toggles, resumes, qint64(show.captions.size()), deepest,
          responsiveness->worstMs);
    QCOMPARE(backgroundClicks, 500);
    QCOMPARE(keyPresses, 500);
    QVERIFY(toggles >= 200);
    QVERIFY2(deepest <= LARK_M7::MaxNestedLoops, qPrintable(QString::number(deepest)));
    QCOMPARE(deepest, LARK_M7::MaxNestedLoops);
    QVERIFY2(responsiveness->worstMs < 100, qPrintable(QString::number(responsiveness->worstMs)));
    // The last pause ended every activation.
    QCOMPARE(viewer()->activeLoops(), 0);
    QCOMPARE(int(show.state().LoopActive), 0);
    QCOMPARE(int(show.state().ShowState), 1);
    QCOMPARE(int(show.state().ShowRunning), 0);
    QVERIFY(viewer()->Command1->isVisible() && viewer()->Command2->isVisible());
    QVERIFY(!viewer()->Command3->isVisible());
    QCOMPARE(viewer()->Command3->text(), QStringLiteral("Continua"));
    QVERIFY(show.services.messages.isEmpty());
    // Stopped means stopped: nothing more is shown.
    const qsizetype named = show.captions.size();
    QTest::qWait(200);
    QCOMPARE(show.captions.size(), named);
}

void StressTest::leavingWhileAPauseIsPendingOverNestedLoops()
{
    makePictures(200);
    ShowFixture show;
    QPointer<LARK_M7> first;
    int nested = 0;
    Script script(&show);
    script.add(100, [&] { first = show.viewer(); });
    for (int i = 0; i < 10; ++i)
        script.add(15, [&] { clickBackground(first); });
    script.add(30, [&] {
        nested = first->activeLoops();
        QCOMPARE(first->Command3->text(), QStringLiteral("PAUSA"));
        QTest::mouseClick(first->Command3, Qt::LeftButton); // pause requested
        QVERIFY(first->Command2->isVisible());
        QTest::mouseClick(first->Command2, Qt::LeftButton); // and left at once
        QVERIFY(!first->isVisible());
    });
    script.start();
    show.confirmShow(m_dir->path(), QStringLiteral("0.1"));
    QTRY_VERIFY_WITH_TIMEOUT(script.finished(), 10000);
    QCOMPARE(nested, 11);
    // Every loop ended at its next test; then the viewer went.
    QTRY_VERIFY_WITH_TIMEOUT(first.isNull(), 10000);
    QVERIFY(show.viewer() == nullptr);
    QVERIFY(show.setup().isVisible());
    QVERIFY(show.services.messages.isEmpty());

    // A new confirmation shows the whole folder again, from its start.
    show.captions.clear();
    show.confirmShow(m_dir->path(), QStringLiteral("0"));
    QVERIFY(show.waitForShowEnd());
    QCOMPARE(show.captions.size(), 200);
    QCOMPARE(show.shownNames().first(), QStringLiteral("P1.JPG"));
    QVERIFY(show.services.messages.isEmpty());
}

void StressTest::confirmingWhileAShowRuns_data()
{
    QTest::addColumn<bool>("cyclic");
    QTest::newRow("once") << false;
    QTest::newRow("cyclic") << true;
}

void StressTest::confirmingWhileAShowRuns()
{
    QFETCH(bool, cyclic);
    makePictures(50, {16, 12});
    ShowFixture show;
    Script script(&show);
    int confirmations = 0;
    // Confirmations while one and then several loops run, each followed by a repaint.
    for (int i = 0; i < 6; ++i) {
        script.add(40, [&] { clickBackground(show.viewer()); });
        script.add(20, [&] {
            ++confirmations;
            QTest::mouseClick(show.setup().Command2, Qt::LeftButton);
            show.viewer()->repaint();
        });
    }
    script.start();
    show.confirmShow(m_dir->path(), QStringLiteral("0.1"), cyclic);
    QTRY_VERIFY_WITH_TIMEOUT(script.finished(), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(show.viewer()->activeLoops() == 0, 10000);
    QCOMPARE(confirmations, 6);
    QCOMPARE(int(show.state().LoopActive), 0);
    QCOMPARE(int(show.state().ShowState), 1);
    QVERIFY(show.services.messages.isEmpty());
    QVERIFY(show.viewer()->Command2->isVisible());

    // A confirmation once the show is over starts it again at the next paint, from the
    // start; it is paused at its third picture.
    show.captions.clear();
    QStringList names;
    QTimer poll;
    poll.setInterval(2);
    QObject::connect(&poll, &QTimer::timeout, &show, [&] {
        if (!show.shownNames().contains(QStringLiteral("P3.JPG")))
            return;
        poll.stop();
        names = show.shownNames();
        QTest::mouseClick(show.viewer()->Command3, Qt::LeftButton);
    });
    poll.start();
    QTest::mouseClick(show.setup().Command2, Qt::LeftButton);
    show.viewer()->repaint();
    QVERIFY(show.waitForShowEnd());
    // P1 is named again only when the caption named another picture before.
    QVERIFY2(names == (QStringList{"P1.JPG", "P2.JPG", "P3.JPG"}) ||
                 names == (QStringList{"P2.JPG", "P3.JPG"}),
             qPrintable(names.join(u',')));
    QCOMPARE(show.state().CurrentName, QStringLiteral("P4.JPG"));
}

void StressTest::resizesAndMinimizingDuringTheWaits()
{
    makePictures(20, {64, 48});
    ShowFixture show;
    Script script(&show);
    QRandomGenerator random(7);
    const auto viewer = [&show] { return show.viewer(); };
    script.add(50, [&] { viewer()->showNormal(); });
    const QSize sizes[] = {QSize(800, 600), QSize(300, 200),   QSize(20, 20),
                           QSize(1, 1),     QSize(1600, 1000), QSize(640, 900)};
    for (int s = 0; s < 6; ++s) {
        // Each size is held over at least one picture, with small steps around it.
        const QSize size = sizes[s];
        script.add(5, [&, size] { viewer()->resize(size); });
        for (int i = 0; i < 5; ++i) {
            const QSize step(size.width() + int(random.bounded(7)) - 3,
                             size.height() + int(random.bounded(7)) - 3);
            script.add(10, [&, step] { viewer()->resize(step.expandedTo({1, 1})); });
        }
        script.add(5, [&, size] { viewer()->resize(size); });
        script.add(160, [] {});
        if (s == 1) {
            script.add(5, [&] { viewer()->showMinimized(); });
            script.add(5, [&] { viewer()->showNormal(); });
            script.add(5, [&] { viewer()->showMaximized(); });
            script.add(5, [&] { viewer()->showMinimized(); }); // restored at the next picture
            script.add(200, [&] { QVERIFY(!viewer()->isMinimized()); });
            script.add(5, [&] { viewer()->showNormal(); });
        }
    }
    script.start();
    show.confirmShow(m_dir->path(), QStringLiteral("0.12"));
    QVERIFY(show.waitForShowEnd(20000));
    QVERIFY(script.finished());

    QVERIFY(show.services.messages.isEmpty());
    QCOMPARE(show.captions.size(), 20);
    QVERIFY(!viewer()->isMinimized());
    // Pictures shown in a window too small for the margins got an empty image, never a
    // negative one; those in larger windows were shown.
    bool empty = false, sized = false;
    for (const QSize &size : std::as_const(show.imageSizesAtCaption)) {
        QVERIFY(size.width() >= 0 && size.height() >= 0);
        empty = empty || size.isEmpty();
        sized = sized || size.width() > 100;
    }
    QVERIFY(empty);
    QVERIFY(sized);
    QVERIFY(viewer()->Command1->isVisible() && viewer()->Command2->isVisible());
}

void StressTest::brokenTracksOnTheRealPlayer()
{
    if (!AudioOutput::available())
        QSKIP("this machine has no audio output");
    const auto file = [this](const QString &name) { return m_dir->filePath(name); };
    for (int i = 1; i <= 20; ++i)
        TestFiles::writePicture(file(QStringLiteral("P%1.JPG").arg(i, 2, 10, QLatin1Char('0'))), 32,
                                24, Qt::darkGreen, "JPEG");
    QFile sample(QStringLiteral(ALBUM_SOURCE_DIR "/examples/album/Bosco.MP3"));
    QVERIFY(sample.open(QIODevice::ReadOnly));
    const QByteArray mp3 = sample.readAll();
    QRandomGenerator random(11);
    QByteArray noise(20000, '\0');
    for (char &c : noise)
        c = char(random.bounded(256));
    // Frame headers that promise audio, followed by noise.
    QByteArray fakeFrames;
    for (int i = 0; i < 40; ++i)
        fakeFrames.append("\xFF\xFB\x90\x64", 4).append(noise.mid(i * 400, 413));
    // A WAV whose header claims far more sound than the file holds.
    TestFiles::writeWav(file(QStringLiteral("lying.wav")), 0.3);
    QFile lying(file(QStringLiteral("lying.wav")));
    QVERIFY(lying.open(QIODevice::ReadWrite));
    QByteArray wav = lying.readAll();
    qToLittleEndian<quint32>(0x7FFFFFF0u, wav.data() + 4);
    qToLittleEndian<quint32>(0x7FFFFFC0u, wav.data() + 40);
    lying.close();

    TestFiles::writeBytes(file(QStringLiteral("P01.MP3")),
                          QByteArray("ID3\x03\x00\x00\x00\x00\x00\x10", 10) + noise);
    TestFiles::writeBytes(file(QStringLiteral("P02.MP3")), mp3.left(mp3.size() / 20));
    QVERIFY(QDir().mkdir(file(QStringLiteral("P03.MP3")))); // a folder, never queued
    TestFiles::writeBytes(file(QStringLiteral("P04.MP3")), wav);
    TestFiles::writeBytes(file(QStringLiteral("P05.MP3")), QByteArray());
    TestFiles::writeBytes(file(QStringLiteral("P06.MP3")), fakeFrames);
    QFile::copy(sample.fileName(), file(QStringLiteral("P08.MP3")));
    const QString good = file(QStringLiteral("P08.MP3"));

    FakePlatformServices services;
    auto *player = new QtMediaPlayer; // the setup window takes it over
    AlbumApplication app(services, *player, player);
    app.start();
    LARK_M1 &setup = app.setupWindow();
    QStringList captions;
    int goodStartedAt = -1;
    // What the caption and the now-playing label say, as often as the event loop runs.
    const auto look = [&] {
        if (LARK_M7 *viewer = app.viewerIfLoaded()) {
            const QString title = viewer->windowTitle();
            if (title.startsWith(QLatin1String("IMMAGINE  ")) &&
                (captions.isEmpty() || captions.last() != title))
                captions << title;
        }
        if (goodStartedAt < 0 && setup.Label3->text() == good)
            goodStartedAt = int(captions.size());
    };
    QTimer watch;
    watch.setInterval(2);
    QObject::connect(&watch, &QTimer::timeout, &watch, look);
    watch.start();

    services.dialogAnswers << file(QStringLiteral("any.JPG"));
    setup.Text2->setText(QStringLiteral("0.3"));
    QTest::mouseClick(setup.Command1, Qt::LeftButton);
    setup.Check1->setChecked(false);
    QTest::mouseClick(setup.Command2, Qt::LeftButton);
    SharedState &state = app.state();
    QVERIFY(state.MusicEnabled == 1);
    QTRY_VERIFY_WITH_TIMEOUT(state.ShowStarted == 1 && state.LoopActive == 0, 30000);
    watch.stop();
    look();

    // The show went through every picture, with no message.
    QCOMPARE(captions.size(), 20);
    QCOMPARE(captions.last(), QStringLiteral("IMMAGINE  ") + file(QStringLiteral("P20.JPG")));
    QVERIFY2(services.messages.isEmpty(), qPrintable(services.messages.join(u'|')));
    // Six tracks were queued, the folder named like one was not.
    QCOMPARE(int(state.TrackCount), 6);
    for (int i = 1; i <= 6; ++i)
        QVERIFY(!state.Playlist(i).contains(QLatin1String("P03")));
    // The broken ones each counted as ended, and the good one started at a picture change
    // after its own picture.
    QVERIFY2(goodStartedAt >= 8, qPrintable(QString::number(goodStartedAt)));
    QCOMPARE(player->currentFile(), good);
    QCOMPARE(player->GetPlayerState(), int(MediaPlayerControl::Playing));
}

QTEST_MAIN(StressTest)
#include "tst_stress.moc"
