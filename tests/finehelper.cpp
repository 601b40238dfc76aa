// The real program, with the desktop's own services and the real player, driven to a given
// moment of a show and ended there with "F I N E". Run by tst_fine in a child process.
//
//   finehelper FOLDER SCENARIO MILLISECONDS
//
// Before the click it prints "fine T" (T: the monotonic clock, milliseconds) on stdout, and
// it never returns from the click: the program's end is its exit. Exit codes other than 0
// mean the click came back (3) or the scenario never reached its moment (4).
#include "app/albumapplication.h"
#include "music/qtmediaplayer.h"
#include "desktop/qtplatformservices.h"
#include "setup/setupwindow.h"
#include "viewer/viewerwindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <functional>

namespace {

void clickFine(LARK_M1 &setup, const char *what)
{
    QElapsedTimer now;
    now.start();
    std::printf("%s\nfine %lld\n", what, now.msecsSinceReference());
    std::fflush(stdout);
    QTest::mouseClick(setup.Command3, Qt::LeftButton);
    std::printf("the click came back\n");
    std::fflush(stdout);
    std::_Exit(3);
}

void clickBackground(LARK_M7 *viewer)
{
    QTest::mouseClick(viewer, Qt::LeftButton, {}, QPoint(viewer->width() - 3, 3));
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("album"));
    if (argc != 4) {
        std::fprintf(stderr, "usage: finehelper FOLDER SCENARIO MILLISECONDS\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const QByteArray scenario = argv[2];
    const int moment = QByteArray(argv[3]).toInt();

    QtPlatformServices services;
    auto *player = new QtMediaPlayer;
    AlbumApplication album(services, *player, player);
    album.start();
    LARK_M1 &setup = album.setupWindow();

    // Nothing may keep the program alive past its moment.
    QTimer::singleShot(20000, [] { std::_Exit(4); });

    const auto confirm = [&](const char *delay) {
        setup.Text1->setText(folder);
        setup.Text2->setText(QString::fromLatin1(delay));
        setup.Check1->setChecked(true);
        QTest::mouseClick(setup.Command2, Qt::LeftButton);
    };

    if (scenario == "idle") {
        // No show yet.
        QTimer::singleShot(moment, [&] { clickFine(setup, "idle"); });
    } else if (scenario == "flowing") {
        // Pictures one after the other without a wait: the click lands anywhere in a picture.
        QTimer::singleShot(0, [&] { confirm("0"); });
        QTimer::singleShot(moment, [&] { clickFine(setup, "flowing"); });
    } else if (scenario == "waiting") {
        QTimer::singleShot(moment, [&] {
            LARK_M7 *viewer = album.viewerIfLoaded();
            clickFine(setup, viewer && viewer->activeLoops() == 1 ? "waiting" : "not waiting");
        });
        QTimer::singleShot(0, [&] { confirm("30"); });
    } else if (scenario == "nested") {
        // Background clicks, each continuing the show in a loop nested in the one before; the
        // last one ends the program from inside the deepest.
        static int clicks = 0;
        static std::function<void()> next;
        next = [&] {
            LARK_M7 *viewer = album.viewerIfLoaded();
            if (clicks == 8) {
                clickFine(setup, viewer->activeLoops() == 9 ? "nested" : "not nested");
                return;
            }
            ++clicks;
            QTimer::singleShot(moment, next);
            clickBackground(viewer);
        };
        QTimer::singleShot(300, next);
        QTimer::singleShot(0, [&] { confirm("0.5"); });
    } else if (scenario == "music") {
        // A track is playing: the program ends, and the music with it.
        static QElapsedTimer sinceStart;
        static std::function<void()> poll;
        poll = [&] {
            if (player->GetPlayerState() == MediaPlayerControl::Playing && sinceStart.isValid() &&
                sinceStart.elapsed() >= moment) {
                clickFine(setup, "playing");
                return;
            }
            if (!sinceStart.isValid() && player->GetPlayerState() == MediaPlayerControl::Playing)
                sinceStart.start();
            QTimer::singleShot(5, poll);
        };
        QTimer::singleShot(0, [&] { confirm("5"); });
        QTimer::singleShot(5, poll);
    } else if (scenario == "starting") {
        // A track handed to the player the given time ago, still starting.
        static std::function<void()> poll;
        poll = [&] {
            if (!setup.Label3->text().isEmpty()) {
                QTimer::singleShot(moment, Qt::PreciseTimer, [&] { clickFine(setup, "starting"); });
                return;
            }
            QTimer::singleShot(0, poll);
        };
        QTimer::singleShot(0, [&] { confirm("5"); });
        QTimer::singleShot(0, poll);
    } else if (scenario == "decoding" || scenario == "leavingdecoding") {
        // The show waits for a long decode on the worker: the window still serves "F I N E",
        // and a viewer closed by its frame then goes at once, not when the decode is over.
        static std::function<void()> poll;
        poll = [&] {
            LARK_M7 *viewer = album.viewerIfLoaded();
            if (viewer && album.gate().isHolding()) {
                if (scenario == "decoding") {
                    clickFine(setup, "decoding");
                    return;
                }
                viewer->close();
                clickFine(setup, viewer->wasLeft() && !viewer->isVisible() ? "left" : "held");
                return;
            }
            QTimer::singleShot(1, poll);
        };
        QTimer::singleShot(0, [&] {
            setup.Text3->setText(QStringLiteral("PNG"));
            confirm("0");
        });
        QTimer::singleShot(1, poll);
    } else if (scenario == "pausing") {
        // A pause is pending: the loop beneath has not reached its end yet.
        QTimer::singleShot(moment, [&] {
            LARK_M7 *viewer = album.viewerIfLoaded();
            QTest::mouseClick(viewer->Command3, Qt::LeftButton);
            clickFine(setup, viewer->activeLoops() == 1 ? "pausing" : "not pausing");
        });
        QTimer::singleShot(0, [&] { confirm("30"); });
    } else if (scenario == "leaving") {
        // The viewer has been left with its loop still on the stack.
        QTimer::singleShot(moment, [&] {
            LARK_M7 *viewer = album.viewerIfLoaded();
            QTest::mouseClick(viewer->Command3, Qt::LeftButton);
            QTest::mouseClick(viewer->Command2, Qt::LeftButton);
            clickFine(setup, viewer->activeLoops() == 1 ? "leaving" : "not leaving");
        });
        QTimer::singleShot(0, [&] { confirm("30"); });
    } else {
        std::fprintf(stderr, "unknown scenario %s\n", scenario.constData());
        return 2;
    }
    return QApplication::exec();
}
