// The viewer's commands during a show, one at a time and in bursts: pause and continue, clicks,
// keys, print, leave, confirmations, and the windows' frames; on the fake clock, each command
// comes in a turn of the show's wait.
#include "runtime/twips.h"
#include "setup/setupwindow.h"
#include "viewer/buttonlayout.h"
#include "viewer/imagecontrol.h"
#include "viewer/picturebox.h"
#include "viewer/viewerwindow.h"

#include "support/showfixture.h"
#include "support/testfiles.h"

#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

namespace {

void click(QWidget *widget)
{
    ShowFixture::click(widget);
}

// Steps of a user, one in each turn of the show's wait: a step that starts a nested loop finds
// the next one served from inside it. While no loop runs, the test runs the next step itself.
struct Script
{
    QList<std::function<void()>> steps;
    qsizetype next = 0;
    void add(std::function<void()> step) { steps << std::move(step); }
    bool finished() const { return next >= steps.size(); }
    void runNext()
    {
        if (!finished()) {
            const std::function<void()> step = steps[next++]; // a step may add steps
            step();
        }
    }
    bool run(ShowFixture &show)
    {
        show.clock.everyTurn = [this] { runNext(); };
        while (!finished()) {
            // Every step needs a show with pictures left.
            if (!show.waitForShowEnd() || show.state().CurrentName.isEmpty() || next > 10000)
                return false;
            runNext();
        }
        return show.waitForShowEnd();
    }
};

} // namespace

class CommandsTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { m_dir = std::make_unique<QTemporaryDir>(); }

    void pauseDuringTheWaitEndsTheLoopAtItsNextTurn();
    void aBackgroundClickContinuesWithTheNextPictureAndTheCountersLeft();
    void aKeyPressMakesTheNextToggleContinue();
    void f11PutsTheShowOnTheWholeScreenAndBack();
    void enterOnAFocusedButtonClicksIt_data();
    void enterOnAFocusedButtonClicksIt();
    void aDoubleClickIsOneClick_data();
    void aDoubleClickIsOneClick();
    void clicksOnThePictureAlternateWithoutMusic();
    void printLeavesTheButtonsOutOrSaysWhyNot_data();
    void printLeavesTheButtonsOutOrSaysWhyNot();
    void leavingWhileAPauseIsPendingIsSafe_data();
    void leavingWhileAPauseIsPendingIsSafe();
    void closingTheWindowsByTheirFrames();
    void burstsOfCommandsStayWithinTheNestingBound();
    void confirmingWhileAShowRuns_data();
    void confirmingWhileAShowRuns();

private:
    QString folder() const { return m_dir->path(); }
    std::unique_ptr<QTemporaryDir> m_dir;
};

void CommandsTest::pauseDuringTheWaitEndsTheLoopAtItsNextTurn()
{
    TestFiles::writePictures(folder(), 3);
    ShowFixture show;
    int counts[2] = {};
    bool toggleAlone = false, allThree = false;
    int turnsAtPause = 0;
    show.clock.at(300, [&] {
        counts[0] = show.state().PictureCount;
        counts[1] = show.state().BlockCount;
        LARK_M7 *viewer = show.viewer();
        toggleAlone = viewer->Command3->isVisible() && !viewer->Command1->isVisible();
        click(viewer->Command3);
        turnsAtPause = show.clock.turns;
        // Pause requested: all three buttons, the toggle reading "Continua".
        allThree = viewer->Command1->isVisible() && viewer->Command3->isVisible() &&
                   viewer->Command3->text() == QStringLiteral("Continua");
    });
    show.confirmShow(folder(), QStringLiteral("10"), /*cyclic*/ true);
    QVERIFY(show.waitForShowEnd());
    QVERIFY(toggleAlone && allThree);
    QCOMPARE(show.clock.turns, turnsAtPause); // no turn after the pause's
    LARK_M7 *viewer = show.viewer();
    QCOMPARE(show.shownNames(), QStringList{QStringLiteral("P1.JPG")});
    QCOMPARE(show.buttons(), QStringLiteral("STAMPA USCITA"));
    QCOMPARE(viewer->Command3->text(), QStringLiteral("Continua"));
    const ButtonLayout::Paused paused =
        ButtonLayout::paused(viewer->outerHeight(), viewer->outerWidth());
    for (const auto &[button, place] : {std::pair{viewer->Command1, paused.command1},
                                        {viewer->Command2, paused.command2},
                                        {viewer->Command3, paused.command3}})
        QCOMPARE(button->pos(), QPoint(Twips::toPixels(place.left), Twips::toPixels(place.top)));
    QCOMPARE(show.values("ShowState ShowRunning PictureCount BlockCount"),
             QStringLiteral("ShowState 1 ShowRunning 0 PictureCount %1 BlockCount %2")
                 .arg(counts[0] - 1)
                 .arg(counts[1] - 1));
    QCOMPARE(show.services.pointers.count(11), 1);
}

void CommandsTest::aBackgroundClickContinuesWithTheNextPictureAndTheCountersLeft()
{
    TestFiles::writePictures(folder(), 3);
    ShowFixture show;
    show.clock.at(200, [&] { click(show.viewer()->Command3); });
    show.confirmShow(folder(), QStringLiteral("0.4"), /*cyclic*/ true);
    QVERIFY(show.waitForShowEnd());
    QCOMPARE(show.shownNames(), QStringList{QStringLiteral("P1.JPG")});
    QCOMPARE(show.state().CurrentName, QStringLiteral("P2.JPG"));
    QCOMPARE(show.values("PictureCount"), "PictureCount 0");

    // Paused: a click on the background goes on from the name taken before the pause; one
    // wait is counted on the pause's 0.
    show.clickBackground();
    QCOMPARE(show.shownNames(), (QStringList{"P1.JPG", "P2.JPG", "P3.JPG"}));
    QCOMPARE(show.values("ShowState ShowRunning PictureCount BlockCount"),
             "ShowState 2 ShowRunning 1 PictureCount 1 BlockCount 0");
    QCOMPARE(show.viewer()->Command3->text(), QStringLiteral("PAUSA"));
    QCOMPARE(show.buttons(), QStringLiteral("STAMPA USCITA"));
    // A continued show is not repeated, cyclic option or not.
    QCoreApplication::processEvents();
    QCOMPARE(show.captions.size(), 3);
    QCOMPARE(show.services.pointers.count(11), 1);
}

void CommandsTest::aKeyPressMakesTheNextToggleContinue()
{
    TestFiles::writePictures(folder(), 4);
    ShowFixture show;
    int runningAfterKey = -1, nestedLoops = 0;
    bool toggleShown = false;
    QString caption;
    show.clock.at(100, [&] { QTest::keyClick(show.viewer(), Qt::Key_A); });
    show.clock.at(200, [&] {
        runningAfterKey = show.state().ShowRunning;
        toggleShown = show.viewer()->Command3->isVisible(); // nothing changed on the screen
        click(show.viewer()->Command3);
    });
    show.clock.at(400, [&] {
        nestedLoops = show.viewer()->activeLoops();
        caption = show.viewer()->Command3->text();
        show.state().ShowState = 1;
    });
    show.confirmShow(folder(), QStringLiteral("0.3"));
    QVERIFY(show.waitForShowEnd());
    QCOMPARE(runningAfterKey, 0);
    QVERIFY(toggleShown);
    QCOMPARE(nestedLoops, 2);
    QCOMPARE(caption, QStringLiteral("PAUSA"));
    QCOMPARE(show.viewer()->activeLoops(), 0);
}

void CommandsTest::f11PutsTheShowOnTheWholeScreenAndBack()
{
    TestFiles::writePictures(folder(), 3);
    ShowFixture show;
    // Pressed while the first picture is on screen.
    show.clock.at(500, [&] { QTest::keyClick(show.viewer(), Qt::Key_F11); });
    show.confirmShow(folder(), QStringLiteral("1"));
    QVERIFY(show.waitForShowEnd());
    LARK_M7 *viewer = show.viewer();
    QVERIFY(viewer->isFullScreen());
    QCOMPARE(viewer->frameGeometry(), viewer->screen()->geometry());
    // The show went on as before, not paused: every picture, each after its delay.
    QCOMPARE(show.shownNames(), (QStringList{"P1.JPG", "P2.JPG", "P3.JPG"}));
    QCOMPARE(show.clockTimes, (QList<qint64>{0, 1000, 2000}));
    QCOMPARE(show.values("ShowRunning"), "ShowRunning 1");
    const ButtonLayout::Paused end =
        ButtonLayout::paused(viewer->outerHeight(), viewer->outerWidth());
    for (const auto &[button, place] :
         {std::pair(viewer->Command1, end.command1), std::pair(viewer->Command2, end.command2)})
        QCOMPARE(button->pos(), QPoint(Twips::toPixels(place.left), Twips::toPixels(place.top)));
    QTest::keyClick(viewer, Qt::Key_F11);
    QVERIFY(viewer->isMaximized() && !viewer->isFullScreen());
}

void CommandsTest::enterOnAFocusedButtonClicksIt_data()
{
    QTest::addColumn<int>("key");
    QTest::newRow("Return") << int(Qt::Key_Return);
    QTest::newRow("keypad Enter") << int(Qt::Key_Enter);
}

void CommandsTest::enterOnAFocusedButtonClicksIt()
{
    QFETCH(int, key);
    TestFiles::writePictures(folder(), 2);
    ShowFixture show;
    show.clock.at(200, [&] {
        show.viewer()->Command3->setFocus();
        QTest::keyClick(show.viewer()->Command3, Qt::Key(key));
    });
    show.confirmShow(folder(), QStringLiteral("5"));
    QVERIFY(show.waitForShowEnd());
    QCOMPARE(show.viewer()->Command3->text(), QStringLiteral("Continua")); // paused
    QCOMPARE(show.values("ShowState"), "ShowState 1");

    // On the setup window too.
    show.setup().Command1->setFocus();
    QTest::keyClick(show.setup().Command1, Qt::Key(key));
    QCOMPARE(show.services.dialogsShown, 2);
}

void CommandsTest::aDoubleClickIsOneClick_data()
{
    QTest::addColumn<bool>("onPictureBox");
    QTest::newRow("picture") << false;
    QTest::newRow("picture box") << true;
}

void CommandsTest::aDoubleClickIsOneClick()
{
    QFETCH(bool, onPictureBox);
    TestFiles::writePictures(folder(), 2);
    ShowFixture show;
    show.clock.at(200, [&] {
        QWidget *target =
            onPictureBox ? static_cast<QWidget *>(show.viewer()->Picture1) : show.viewer()->Image1;
        // What the window system sends: press, release, the second press as a double-click,
        // release.
        click(target);
        QTest::mouseDClick(target, Qt::LeftButton);
        QTest::mouseRelease(target, Qt::LeftButton);
    });
    show.confirmShow(folder(), QStringLiteral("5"));
    QVERIFY(show.waitForShowEnd());
    QCOMPARE(show.viewer()->Command3->text(), QStringLiteral("Continua")); // paused, once
    QCOMPARE(show.captions.size(), 1);
}

void CommandsTest::clicksOnThePictureAlternateWithoutMusic()
{
    TestFiles::writePictures(folder(), 5);
    ShowFixture show;
    show.player.musicSwitch = false;
    show.clock.at(100, [&] { click(show.viewer()->Command3); });
    show.confirmShow(folder(), QStringLiteral("0.2"));
    QVERIFY(show.waitForShowEnd());
    LARK_M7 *viewer = show.viewer();
    QCOMPARE(show.captions.size(), 1);

    // One more picture, its wait, then the end.
    click(viewer->Image1);
    QCOMPARE(show.shownNames(), (QStringList{"P1.JPG", "P2.JPG"}));
    QCOMPARE(show.values("ShowState"), "ShowState 1");
    QCOMPARE(show.buttons(), QStringLiteral("STAMPA USCITA"));
    QCOMPARE(viewer->Command3->text(), QStringLiteral("PAUSA"));

    // Then a pause with all three buttons.
    click(viewer->Image1);
    QCOMPARE(show.captions.size(), 2);
    QCOMPARE(show.buttons(), QStringLiteral("STAMPA USCITA Continua"));
    QCOMPARE(show.values("PictureCount"), "PictureCount 9999");

    // Then one more picture again.
    click(viewer->Image1);
    QCOMPARE(show.shownNames(), (QStringList{"P1.JPG", "P2.JPG", "P3.JPG"}));
    QCOMPARE(show.buttons(), QStringLiteral("STAMPA USCITA"));
}

void CommandsTest::printLeavesTheButtonsOutOrSaysWhyNot_data()
{
    QTest::addColumn<bool>("paused"); // or the show has ended
    QTest::addColumn<int>("error");   // what the printer raises, or 0
    QTest::newRow("paused show printed") << true << 0;
    QTest::newRow("ended show, failing printer") << false << 482;
}

void CommandsTest::printLeavesTheButtonsOutOrSaysWhyNot()
{
    QFETCH(bool, paused);
    QFETCH(int, error);
    TestFiles::writePictures(folder(), paused ? 2 : 1);
    ShowFixture show;
    if (paused)
        show.clock.at(100, [&] { click(show.viewer()->Command3); });
    show.confirmShow(folder(), QStringLiteral("0.5"));
    QVERIFY(show.waitForShowEnd());
    LARK_M7 *viewer = show.viewer();
    QVERIFY(!viewer->Command3->isVisible());
    const QList<QRect> buttons = {viewer->Command1->geometry(), viewer->Command2->geometry(),
                                  viewer->Command3->geometry()};
    if (error)
        show.services.printError = error;
    click(viewer->Command1);
    if (error) {
        QCOMPARE(show.services.messages, QStringList{"STAMPA NON POSSIBILE !!! - ERR: 482"});
        QVERIFY(show.services.printed.isEmpty());
    } else {
        QVERIFY(show.services.messages.isEmpty());
        QCOMPARE(show.services.printed.size(), 1);
        const QImage printed = show.services.printed.first();
        QCOMPARE(printed.size(), viewer->size() * viewer->devicePixelRatioF());
        for (const QRect &button : buttons)
            QCOMPARE(printed.pixelColor(button.center()), QColor(0, 128, 0));
    }
    // Afterwards all three buttons, the toggle too.
    QCOMPARE(show.buttons(), paused ? "STAMPA USCITA Continua" : "STAMPA USCITA PAUSA");
}

void CommandsTest::leavingWhileAPauseIsPendingIsSafe_data()
{
    QTest::addColumn<int>("nested"); // loops nested by clicks on the background before
    QTest::newRow("one loop") << 0;
    QTest::newRow("eleven loops") << 10;
}

void CommandsTest::leavingWhileAPauseIsPendingIsSafe()
{
    QFETCH(int, nested);
    TestFiles::writePictures(folder(), 30);
    ShowFixture show;
    QPointer<LARK_M7> first;
    int loopsWhenLeft = 0;
    bool left = false, leaveShown = false, hidden = false;
    show.clock.everyTurn = [&] {
        if (first || !show.viewer())
            return;
        if (show.viewer()->activeLoops() <= nested) {
            show.clickBackground();
            return;
        }
        first = show.viewer();
        left = true;
        click(first->Command3); // pause requested, the loops still beneath
        leaveShown = first->Command2->isVisible();
        click(first->Command2); // leave
        hidden = !first->isVisible();
        loopsWhenLeft = first->activeLoops();
    };
    show.confirmShow(folder(), QStringLiteral("5"));
    QTRY_VERIFY(left);
    QTRY_VERIFY(first.isNull()); // gone once its loops have ended
    QVERIFY(leaveShown && hidden);
    QCOMPARE(loopsWhenLeft, nested + 1);
    QVERIFY(show.viewer() == nullptr);
    QCOMPARE(int(show.state().ShowStarted), 0);
    QCOMPARE(show.captions.size(), nested + 1);
    QVERIFY(show.setup().isVisible());
    QVERIFY(show.services.messages.isEmpty());

    // A new confirmation loads a fresh viewer whose show runs, from the folder's start.
    show.clock.everyTurn = nullptr;
    show.captions.clear();
    show.confirmShow(folder(), QStringLiteral("0"));
    QVERIFY(show.viewer() != nullptr);
    QVERIFY(show.waitForShowEnd());
    QCOMPARE(show.captions.size(), 30);
    QCOMPARE(show.viewer()->windowTitle(),
             "IMMAGINE  " + m_dir->filePath(QStringLiteral("P30.JPG")));

    // Left as its pass starts, before any repaint: the show's pointer goes all the same.
    LARK_M7 *viewer = show.viewer();
    connect(viewer, &LARK_M7::loopRunning, viewer, [viewer](bool running) {
        if (running)
            viewer->close();
    });
    show.confirmShow(folder(), QStringLiteral("0"));
    viewer->update();
    QTRY_VERIFY(show.viewer() == nullptr);
    QCOMPARE(show.services.pointers.last(), 0);
}

void CommandsTest::closingTheWindowsByTheirFrames()
{
    TestFiles::writePictures(folder(), 3);
    ShowFixture show;
    QPointer<LARK_M7> viewer;
    bool closed = false, setupClosed = true, viewerShown = true;
    show.clock.at(200, [&] {
        viewer = show.viewer();
        closed = true;
        // The setup window only hides while the viewer is open.
        setupClosed = show.setup().close() || show.setup().isVisible();
        // The viewer's frame leaves it as "USCITA" does.
        viewer->close();
        viewerShown = viewer->isVisible();
    });
    show.confirmShow(folder(), QStringLiteral("5"));
    QTRY_VERIFY(closed);
    QTRY_VERIFY(viewer.isNull());
    QVERIFY(!setupClosed && !viewerShown);
    QCOMPARE(show.captions.size(), 1);
    QCOMPARE(show.values("ShowStarted PictureCount"), "ShowStarted 0 PictureCount 10000");
    // Without the viewer the setup window closes for good.
    show.setup().show();
    QVERIFY(show.setup().close());
}

void CommandsTest::burstsOfCommandsStayWithinTheNestingBound()
{
    TestFiles::writePictures(folder(), 1500, {8, 8});
    ShowFixture show;
    Script script;
    int backgroundClicks = 0, keyPresses = 0, toggles = 0, confirmations = 0, deepest = 0;
    const auto viewer = [&show] { return show.viewer(); };
    const auto step = [&](std::function<void()> what) {
        script.add([&, what] {
            deepest = qMax(deepest, viewer()->activeLoops());
            what();
        });
    };
    // A toggle clicks the pause/continue button; while a pause has hidden it, the user brings
    // the show back with a click on the background first.
    const auto toggle = [&] {
        if (!viewer()->Command3->isVisible())
            return show.clickBackground();
        ++toggles;
        click(viewer()->Command3);
    };
    // Each click on the background continues the show in a loop nested in the one before, up
    // to the bound; there a confirmation and its repaint start no deeper loop either.
    for (int burst = 0; burst < 10; ++burst) {
        for (int i = 0; i < 50; ++i) {
            step([&] { ++backgroundClicks, show.clickBackground(); });
            step([&, i] { ++keyPresses, QTest::keyClick(viewer(), Qt::Key(Qt::Key_A + i % 26)); });
            if (burst == 0 && i >= 40 && i < 44)
                step([&] {
                    ++confirmations;
                    click(show.setup().Command2);
                    viewer()->repaint();
                });
        }
        for (int i = 0; i < 20; ++i)
            step(toggle);
    }
    // Then toggles up to 200 clicks on the button, and a last one that pauses a running show.
    std::function<void()> more = [&] {
        if (toggles >= 200 && show.state().ShowRunning != 0 && viewer()->Command3->isVisible())
            return click(viewer()->Command3);
        step(toggle);
        script.add(more);
    };
    script.add(more);
    show.confirmShow(folder(), QStringLiteral("1"), /*cyclic*/ true);
    QVERIFY(script.run(show));

    QCOMPARE(backgroundClicks, 500);
    QCOMPARE(keyPresses, 500);
    QCOMPARE(confirmations, 4);
    QCOMPARE(deepest, LARK_M7::MaxNestedLoops); // the bound was reached and held
    // The last pause ended every activation.
    QCOMPARE(show.values("activeLoops LoopActive ShowState ShowRunning"),
             "activeLoops 0 LoopActive 0 ShowState 1 ShowRunning 0");
    QCOMPARE(show.buttons(), QStringLiteral("STAMPA USCITA"));
    QCOMPARE(viewer()->Command3->text(), QStringLiteral("Continua"));
    QVERIFY(show.services.messages.isEmpty());
    // Stopped means stopped: nothing more is shown.
    const qsizetype named = show.captions.size();
    QCoreApplication::processEvents();
    QCOMPARE(show.captions.size(), named);
}

void CommandsTest::confirmingWhileAShowRuns_data()
{
    QTest::addColumn<bool>("cyclic");
    QTest::newRow("once") << false;
    QTest::newRow("cyclic") << true;
}

void CommandsTest::confirmingWhileAShowRuns()
{
    QFETCH(bool, cyclic);
    TestFiles::writePictures(folder(), 50, {16, 12});
    ShowFixture show;
    Script script;
    // Confirmations while one and then several loops run, each followed by a repaint.
    for (int i = 0; i < 6; ++i) {
        script.add([&] { show.clickBackground(); });
        script.add([&] {
            click(show.setup().Command2);
            show.viewer()->repaint();
        });
    }
    show.confirmShow(folder(), QStringLiteral("0.3"), cyclic);
    QVERIFY(script.run(show));
    QCOMPARE(show.values("activeLoops ShowState"), "activeLoops 0 ShowState 1");
    QVERIFY(show.services.messages.isEmpty());
    QCOMPARE(show.buttons(), QStringLiteral("STAMPA USCITA"));

    // A confirmation once the show is over starts it again at the next paint, from the start;
    // it is paused at its third picture.
    show.captions.clear();
    QStringList names;
    show.clock.everyTurn = [&] {
        if (names.isEmpty() && show.shownNames().contains(QStringLiteral("P3.JPG"))) {
            names = show.shownNames();
            click(show.viewer()->Command3);
        }
    };
    click(show.setup().Command2);
    show.viewer()->repaint();
    QVERIFY(show.waitForShowEnd());
    // P1 is named again only when the caption named another picture before.
    QVERIFY2(names == (QStringList{"P1.JPG", "P2.JPG", "P3.JPG"}) ||
                 names == (QStringList{"P2.JPG", "P3.JPG"}),
             qPrintable(names.join(u',')));
    QCOMPARE(show.state().CurrentName, QStringLiteral("P4.JPG"));
}

QTEST_MAIN(CommandsTest)
#include "tst_commands.moc"
