// The real program, with the desktop's own services and the real player, driven to a given
// moment of a show on the fake clock and ended there with "F I N E". Run by tst_fine in a child
// process.
//
//   finehelper FOLDER SCENARIO MOMENT
//
// Before the click it prints what the scenario reached and "fine T" (T: the monotonic clock,
// milliseconds) on stdout; it never returns from the click: the program's end is its exit.
// Exit codes other than 0 mean the click came back (3) or the scenario never reached its
// moment (4).
#include "app/albumapplication.h"
#include "music/qtmediaplayer.h"
#include "desktop/qtplatformservices.h"
#include "setup/setupwindow.h"
#include "viewer/viewerwindow.h"

#include "support/fakeclock.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <functional>

namespace {

LARK_M1 *setupWindow = nullptr;

void clickFine(const char *reached)
{
    QElapsedTimer now;
    now.start();
    std::printf("%s\nfine %lld\n", reached, now.msecsSinceReference());
    std::fflush(stdout);
    QTest::mouseClick(setupWindow->Command3, Qt::LeftButton);
    std::printf("the click came back\n");
    std::fflush(stdout);
    std::_Exit(3);
}

// The real player, which ends the program a given time after a track is handed to it.
class TimedPlayer : public QtMediaPlayer
{
public:
    int fineAfterMs = -1;
    void SetPlayerFile(const QString &path) override
    {
        QtMediaPlayer::SetPlayerFile(path);
        if (fineAfterMs >= 0)
            QTimer::singleShot(fineAfterMs, Qt::PreciseTimer, [this] {
                clickFine(GetPlayerState() == Playing ? "playing" : "not playing");
            });
    }
};

} // namespace

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("album"));
    if (argc != 4) {
        std::fprintf(stderr, "usage: finehelper FOLDER SCENARIO MOMENT\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const QByteArray scenario = argv[2];
    const int moment = QByteArray(argv[3]).toInt();

    QtPlatformServices services;
    auto *player = new TimedPlayer;
    FakeClock clock;
    AlbumApplication album(services, *player, player, &clock);
    album.start();
    LARK_M1 &setup = album.setupWindow();
    setupWindow = &setup;
    const auto viewer = [&album] { return album.viewerIfLoaded(); };

    // Nothing may keep the program alive past its moment.
    QTimer::singleShot(20000, [] { std::_Exit(4); });
    const auto confirm = [&](const char *delay, const char *extension = "JPG") {
        setup.Text1->setText(folder);
        setup.Text2->setText(QString::fromLatin1(delay));
        setup.Text3->setText(QString::fromLatin1(extension));
        setup.Check1->setChecked(true);
        QTest::mouseClick(setup.Command2, Qt::LeftButton);
    };
    // Every turn of the event loop.
    QTimer eachTurn;
    const auto onEachTurn = [&](std::function<void()> check) {
        QObject::connect(&eachTurn, &QTimer::timeout, check);
        eachTurn.start(0);
    };

    if (scenario == "idle") {
        // No show yet.
        QMetaObject::invokeMethod(
            &application, [] { clickFine("idle"); }, Qt::QueuedConnection);
    } else if (scenario == "flowing") {
        // Pictures one after the other without a wait: the click lands at the moment-th turn
        // of the event loop, anywhere in a picture.
        confirm("0");
        onEachTurn([&, turns = 0]() mutable {
            if (++turns == moment)
                clickFine("flowing");
        });
    } else if (scenario == "waiting") {
        clock.at(moment,
                 [&] { clickFine(viewer()->activeLoops() == 1 ? "waiting" : "not waiting"); });
        confirm("30");
    } else if (scenario == "nested") {
        // Background clicks, each continuing the show in a loop nested in the one before; the
        // last one ends the program from inside the deepest.
        clock.everyTurn = [&] {
            if (viewer()->activeLoops() == moment)
                clickFine("nested");
            QTest::mouseClick(viewer(), Qt::LeftButton, {}, QPoint(viewer()->width() - 3, 3));
        };
        confirm("0.5");
    } else if (scenario == "track") {
        // A track handed to the player moment milliseconds ago, still starting or playing.
        player->fineAfterMs = moment;
        confirm("5");
    } else if (scenario == "decoding" || scenario == "leavingdecoding") {
        // The show waits for a long decode on the worker: the window still serves "F I N E",
        // and a viewer closed by its frame then goes at once, not when the decode is over.
        onEachTurn([&] {
            if (!viewer() || !album.gate().isHolding())
                return;
            if (scenario == "decoding")
                clickFine("decoding");
            LARK_M7 *shown = viewer();
            shown->close();
            clickFine(shown->wasLeft() && !shown->isVisible() ? "left" : "held");
        });
        confirm("0", "PNG");
    } else if (scenario == "pausing" || scenario == "leaving") {
        // A pause is pending, or the viewer has been left, with the loop beneath not at its
        // end yet.
        clock.at(moment, [&] {
            LARK_M7 *shown = viewer();
            QTest::mouseClick(shown->Command3, Qt::LeftButton);
            if (scenario == "leaving")
                QTest::mouseClick(shown->Command2, Qt::LeftButton);
            clickFine(shown->activeLoops() == 1 ? scenario.constData() : "not at its moment");
        });
        confirm("30");
    } else {
        std::fprintf(stderr, "unknown scenario %s\n", scenario.constData());
        return 2;
    }
    return QApplication::exec();
}
