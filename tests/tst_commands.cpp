#include "runtime/twips.h"
#include "setup/setupwindow.h"
#include "viewer/buttonlayout.h"
#include "viewer/imagecontrol.h"
#include "viewer/picturebox.h"
#include "viewer/viewerwindow.h"

#include "support/showfixture.h"
#include "support/testfiles.h"

#include <QElapsedTimer>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

class CommandsTest : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void pauseDuringTheWaitEndsTheLoopAtItsNextTurn();
    void aBackgroundClickContinuesWithTheNextPictureAndTheCountersLeft();
    void aKeyPressMakesTheNextToggleContinue();
    void f11PutsTheShowOnTheWholeScreenAndBack();
    void enterOnAFocusedButtonClicksIt_data();
    void enterOnAFocusedButtonClicksIt();
    void aDoubleClickIsOneClick_data();
    void aDoubleClickIsOneClick();
    void clicksOnThePictureAlternateWithoutMusic();
    void printLeavesTheButtonsOut();
    void aFailingPrintSaysSoAndBringsTheButtonsBack();
    void leavingWhileAPauseIsPendingIsSafe();
    void manyBackgroundClicksStayWithinTheNestingBound();
    void closingTheWindowsByTheirFrames();

private:
    void makePictures(int count, QSize size = {60, 40});
    static void click(QWidget *widget) { QTest::mouseClick(widget, Qt::LeftButton); }
    static void clickBackground(LARK_M7 *viewer)
    {
        QTest::mouseClick(viewer, Qt::LeftButton, {}, QPoint(viewer->width() - 3, 3));
    }
    static QPoint pixels(ButtonLayout::Place place)
    {
        return {Twips::toPixels(place.left), Twips::toPixels(place.top)};
    }

    std::unique_ptr<QTemporaryDir> m_dir;
};

void CommandsTest::init() { m_dir = std::make_unique<QTemporaryDir>(); }

void CommandsTest::makePictures(int count, QSize size)
{
    const QColor colours[] = {Qt::red, Qt::green, Qt::blue, Qt::yellow, Qt::cyan, Qt::magenta};
    for (int i = 0; i < count; ++i)
        TestFiles::writePicture(m_dir->filePath(QStringLiteral("P%1.JPG").arg(i + 1)),
                                size.width(), size.height(), colours[i % 6], "JPEG");
}

void CommandsTest::pauseDuringTheWaitEndsTheLoopAtItsNextTurn()
{
    makePictures(3);
    ShowFixture show;
    int countsBefore[2] = {};
    QElapsedTimer sincePause;
    QTimer::singleShot(300, &show, [&] {
        countsBefore[0] = show.state().PictureCount;
        countsBefore[1] = show.state().BlockCount;
        LARK_M7 *viewer = show.viewer();
        QVERIFY(viewer->Command3->isVisible());
        QVERIFY(!viewer->Command1->isVisible());
        click(viewer->Command3);
        sincePause.start();
        // Pause requested: all three buttons, the toggle reading "Continua".
        QVERIFY(viewer->Command1->isVisible() && viewer->Command3->isVisible());
        QCOMPARE(viewer->Command3->text(), QStringLiteral("Continua"));
    });
    show.confirmShow(m_dir->path(), QStringLiteral("10"), /*cyclic*/ true);
    QVERIFY(show.waitForShowEnd());
    QVERIFY2(sincePause.elapsed() < 2000, qPrintable(QString::number(sincePause.elapsed())));
    LARK_M7 *viewer = show.viewer();
    QCOMPARE(show.shownNames(), QStringList{QStringLiteral("P1.JPG")});
    QVERIFY(viewer->Command1->isVisible());
    QVERIFY(viewer->Command2->isVisible());
    QVERIFY(!viewer->Command3->isVisible());
    QCOMPARE(viewer->Command3->text(), QStringLiteral("Continua"));
    const ButtonLayout::Paused paused =
        ButtonLayout::paused(viewer->outerHeight(), viewer->outerWidth());
    QCOMPARE(viewer->Command1->pos(), pixels(paused.command1));
    QCOMPARE(viewer->Command2->pos(), pixels(paused.command2));
    QCOMPARE(viewer->Command3->pos(), pixels(paused.command3));
    QCOMPARE(int(show.state().ShowState), 1);
    QCOMPARE(int(show.state().ShowRunning), 0);
    QCOMPARE(int(show.state().PictureCount), countsBefore[0] - 1);
    QCOMPARE(int(show.state().BlockCount), countsBefore[1] - 1);
    QCOMPARE(show.services.pointers.count(11), 1);
}

void CommandsTest::aBackgroundClickContinuesWithTheNextPictureAndTheCountersLeft()
{
    makePictures(3);
    ShowFixture show;
    QTimer::singleShot(200, &show, [&] { click(show.viewer()->Command3); });
    show.confirmShow(m_dir->path(), QStringLiteral("0.4"), /*cyclic*/ true);
    QVERIFY(show.waitForShowEnd());
    QCOMPARE(show.shownNames(), QStringList{QStringLiteral("P1.JPG")});
    QCOMPARE(show.state().CurrentName, QStringLiteral("P2.JPG"));
    QCOMPARE(int(show.state().PictureCount), 0);

    // Paused: a click on the background goes on from the name taken before the pause.
    LARK_M7 *viewer = show.viewer();
    clickBackground(viewer);
    QCOMPARE(show.shownNames(), (QStringList{"P1.JPG", "P2.JPG", "P3.JPG"}));
    QCOMPARE(int(show.state().ShowState), 2);
    QCOMPARE(int(show.state().ShowRunning), 1);
    QCOMPARE(int(show.state().PictureCount), 1); // one wait counted on the pause's 0
    QCOMPARE(int(show.state().BlockCount), 0);
    QCOMPARE(viewer->Command3->text(), QStringLiteral("PAUSA"));
    QVERIFY(!viewer->Command3->isVisible());
    QVERIFY(viewer->Command1->isVisible());
    // A continued show is not repeated, cyclic option or not.
    QTest::qWait(300);
    QCOMPARE(show.captions.size(), 3);
    QCOMPARE(show.services.pointers.count(11), 1);
}

void CommandsTest::aKeyPressMakesTheNextToggleContinue()
{
    makePictures(4);
    ShowFixture show;
    int nestedLoops = 0;
    QString caption;
    QTimer::singleShot(150, &show, [&] { QTest::keyClick(show.viewer(), Qt::Key_A); });
    QTimer::singleShot(250, &show, [&] {
        QCOMPARE(int(show.state().ShowRunning), 0);
        QVERIFY(show.viewer()->Command3->isVisible()); // nothing changed on the screen
        click(show.viewer()->Command3);
    });
    QTimer::singleShot(400, &show, [&] {
        nestedLoops = show.viewer()->activeLoops();
        caption = show.viewer()->Command3->text();
        show.state().ShowState = 1;
    });
    show.confirmShow(m_dir->path(), QStringLiteral("0.3"));
    QVERIFY(show.waitForShowEnd());
    QCOMPARE(nestedLoops, 2);
    QCOMPARE(caption, QStringLiteral("PAUSA"));
    QCOMPARE(show.viewer()->activeLoops(), 0);
}

void CommandsTest::f11PutsTheShowOnTheWholeScreenAndBack()
{
    makePictures(3);
    FakeClock clock(0, 250);
    ShowFixture show(&clock);
    show.confirmShow(m_dir->path(), QStringLiteral("1"));
    LARK_M7 *viewer = show.viewer();
    // Pressed while the first picture is on screen, at the show's next yield.
    connect(viewer, &QWidget::windowTitleChanged, this, [&] {
        if (show.captions.size() == 1)
            QTimer::singleShot(0, viewer, [viewer] { QTest::keyClick(viewer, Qt::Key_F11); });
    });
    QVERIFY(show.waitForShowEnd());
    QVERIFY(viewer->isFullScreen());
    QCOMPARE(viewer->frameGeometry(), viewer->screen()->geometry());
    // The show went on as before, not paused: every picture, each after its delay.
    QCOMPARE(show.shownNames(), (QStringList{"P1.JPG", "P2.JPG", "P3.JPG"}));
    QCOMPARE(show.clockTimes, (QList<qint64>{0, 1000, 2000}));
    QCOMPARE(int(show.state().ShowRunning), 1);
    const ButtonLayout::Paused end =
        ButtonLayout::paused(viewer->outerHeight(), viewer->outerWidth());
    QCOMPARE(viewer->Command1->pos(), pixels(end.command1));
    QCOMPARE(viewer->Command2->pos(), pixels(end.command2));
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
    makePictures(2);
    ShowFixture show;
    QTimer::singleShot(200, &show, [&] {
        show.viewer()->Command3->setFocus();
        QTest::keyClick(show.viewer()->Command3, Qt::Key(key));
    });
    show.confirmShow(m_dir->path(), QStringLiteral("5"));
    QVERIFY(show.waitForShowEnd());
    QCOMPARE(show.viewer()->Command3->text(), QStringLiteral("Continua")); // paused
    QCOMPARE(int(show.state().ShowState), 1);

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
    makePictures(2);
    ShowFixture show;
    QTimer::singleShot(200, &show, [&] {
        QWidget *target = onPictureBox ? static_cast<QWidget *>(show.viewer()->Picture1)
                                       : show.viewer()->Image1;
        // What the window system sends: press, release, the second press as a double-click,
        // release.
        click(target);
        QTest::mouseDClick(target, Qt::LeftButton);
        QTest::mouseRelease(target, Qt::LeftButton);
    });
    show.confirmShow(m_dir->path(), QStringLiteral("5"));
    QVERIFY(show.waitForShowEnd());
    QCOMPARE(show.viewer()->Command3->text(), QStringLiteral("Continua")); // paused, once
    QCOMPARE(show.captions.size(), 1);
}

void CommandsTest::clicksOnThePictureAlternateWithoutMusic()
{
    makePictures(5);
    ShowFixture show;
    show.player.musicSwitch = false;
    QTimer::singleShot(150, &show, [&] { click(show.viewer()->Command3); });
    show.confirmShow(m_dir->path(), QStringLiteral("0.2"));
    QVERIFY(show.waitForShowEnd());
    LARK_M7 *viewer = show.viewer();
    QCOMPARE(show.captions.size(), 1);

    // One more picture, its wait, then the end.
    click(viewer->Image1);
    QCOMPARE(show.shownNames(), (QStringList{"P1.JPG", "P2.JPG"}));
    QCOMPARE(int(show.state().ShowState), 1);
    QVERIFY(!viewer->Command3->isVisible());
    QCOMPARE(viewer->Command3->text(), QStringLiteral("PAUSA"));
    QVERIFY(viewer->Command1->isVisible() && viewer->Command2->isVisible());

    // Then a pause with all three buttons.
    click(viewer->Image1);
    QCOMPARE(show.captions.size(), 2);
    QVERIFY(viewer->Command1->isVisible() && viewer->Command2->isVisible() &&
            viewer->Command3->isVisible());
    QCOMPARE(viewer->Command3->text(), QStringLiteral("Continua"));
    QCOMPARE(int(show.state().PictureCount), 9999);

    // Then one more picture again.
    click(viewer->Image1);
    QCOMPARE(show.shownNames(), (QStringList{"P1.JPG", "P2.JPG", "P3.JPG"}));
    QVERIFY(!viewer->Command3->isVisible());
}

void CommandsTest::printLeavesTheButtonsOut()
{
    makePictures(2);
    ShowFixture show;
    QTimer::singleShot(150, &show, [&] { click(show.viewer()->Command3); });
    show.confirmShow(m_dir->path(), QStringLiteral("0.5"));
    QVERIFY(show.waitForShowEnd());
    LARK_M7 *viewer = show.viewer();
    QVERIFY(!viewer->Command3->isVisible());
    const QList<QRect> buttons = {viewer->Command1->geometry(), viewer->Command2->geometry(),
                                  viewer->Command3->geometry()};
    click(viewer->Command1);
    QCOMPARE(show.services.printed.size(), 1);
    const QImage printed = show.services.printed.first();
    QCOMPARE(printed.size(), viewer->size() * viewer->devicePixelRatioF());
    for (const QRect &button : buttons) {
        const QColor colour = printed.pixelColor(button.center());
        QVERIFY2(colour == QColor(0, 128, 0), qPrintable(colour.name()));
    }
    QVERIFY(show.services.messages.isEmpty());
    // Afterwards all three buttons, the toggle too.
    QVERIFY(viewer->Command1->isVisible() && viewer->Command2->isVisible() &&
            viewer->Command3->isVisible());
    QCOMPARE(viewer->Command3->text(), QStringLiteral("Continua"));
}

void CommandsTest::aFailingPrintSaysSoAndBringsTheButtonsBack()
{
    makePictures(1);
    ShowFixture show;
    show.confirmShow(m_dir->path(), QStringLiteral("0.1"));
    QVERIFY(show.waitForShowEnd());
    show.services.printError = 482;
    click(show.viewer()->Command1);
    QCOMPARE(show.services.messages,
             QStringList{QStringLiteral("STAMPA NON POSSIBILE !!! - ERR: 482")});
    QVERIFY(show.services.printed.isEmpty());
    LARK_M7 *viewer = show.viewer();
    QVERIFY(viewer->Command1->isVisible() && viewer->Command2->isVisible() &&
            viewer->Command3->isVisible());
    QCOMPARE(viewer->Command3->text(), QStringLiteral("PAUSA"));
}

void CommandsTest::leavingWhileAPauseIsPendingIsSafe()
{
    makePictures(3);
    ShowFixture show;
    QPointer<LARK_M7> first;
    bool left = false;
    QTimer::singleShot(200, &show, [&] {
        first = show.viewer();
        left = true;
        click(first->Command3);           // pause requested, the loop still beneath
        QVERIFY(first->Command2->isVisible());
        click(first->Command2);           // leave
        QVERIFY(!first->isVisible());
        QCOMPARE(first->activeLoops(), 1);
    });
    show.confirmShow(m_dir->path(), QStringLiteral("5"));
    QTRY_VERIFY(left);
    QTRY_VERIFY_WITH_TIMEOUT(first.isNull(), 5000); // gone once its loop has ended
    QVERIFY(show.viewer() == nullptr);
    QCOMPARE(int(show.state().ShowStarted), 0);
    QCOMPARE(show.captions.size(), 1);
    QVERIFY(show.setup().isVisible());

    // A new confirmation loads a fresh viewer whose show runs.
    show.captions.clear();
    show.confirmShow(m_dir->path(), QStringLiteral("0.05"));
    QVERIFY(show.viewer() != nullptr);
    QVERIFY(show.waitForShowEnd());
    QCOMPARE(show.shownNames(), (QStringList{"P1.JPG", "P2.JPG", "P3.JPG"}));
    QCOMPARE(show.viewer()->windowTitle(),
             QStringLiteral("IMMAGINE  ") + m_dir->filePath(QStringLiteral("P3.JPG")));

    // Left as its pass starts, before any repaint: the show's pointer goes all the same.
    LARK_M7 *viewer = show.viewer();
    connect(viewer, &LARK_M7::loopRunning, viewer, [viewer](bool running) {
        if (running)
            viewer->close();
    });
    show.confirmShow(m_dir->path(), QStringLiteral("0.05"));
    viewer->update();
    QTRY_VERIFY(show.viewer() == nullptr);
    QCOMPARE(show.services.pointers.last(), 0);
}

void CommandsTest::manyBackgroundClicksStayWithinTheNestingBound()
{
    makePictures(400, {8, 8});
    ShowFixture show;
    int clicks = 0;
    int deepest = 0;
    qint64 slowestGap = 0;
    QElapsedTimer sinceLast;
    // Each click plans the next one before it runs: the click's continue nests a loop that
    // serves the next click from inside.
    std::function<void()> clickOnce = [&] {
        if (sinceLast.isValid())
            slowestGap = qMax(slowestGap, sinceLast.elapsed());
        sinceLast.start();
        LARK_M7 *viewer = show.viewer();
        deepest = qMax(deepest, viewer->activeLoops());
        if (clicks == 200) {
            QVERIFY(viewer->Command3->isVisible());
            QCOMPARE(viewer->Command3->text(), QStringLiteral("PAUSA"));
            click(viewer->Command3); // a pause ends every activation
            return;
        }
        ++clicks;
        QTimer::singleShot(5, &show, clickOnce);
        clickBackground(viewer);
        // At the bound, a new confirmation and its repaint start no deeper loop either.
        if (clicks > 100 && clicks <= 104) {
            click(show.setup().Command2);
            viewer->repaint();
        }
    };
    QTimer::singleShot(50, &show, clickOnce);
    show.confirmShow(m_dir->path(), QStringLiteral("0.02"), /*cyclic*/ true);
    QVERIFY(show.waitForShowEnd(60000));
    QCOMPARE(clicks, 200);
    QVERIFY2(deepest <= LARK_M7::MaxNestedLoops, qPrintable(QString::number(deepest)));
    QCOMPARE(deepest, LARK_M7::MaxNestedLoops); // the bound was reached and held
    QVERIFY2(slowestGap < 1000, qPrintable(QString::number(slowestGap)));
    QCOMPARE(show.viewer()->activeLoops(), 0);
    QCOMPARE(int(show.state().LoopActive), 0);
    QCOMPARE(int(show.state().ShowState), 1);
}

void CommandsTest::closingTheWindowsByTheirFrames()
{
    makePictures(3);
    ShowFixture show;
    QPointer<LARK_M7> viewer;
    bool closed = false;
    QTimer::singleShot(200, &show, [&] {
        viewer = show.viewer();
        closed = true;
        // The setup window only hides while the viewer is open.
        QVERIFY(!show.setup().close());
        QVERIFY(!show.setup().isVisible());
        // The viewer's frame leaves it as "USCITA" does.
        viewer->close();
        QVERIFY(!viewer->isVisible());
    });
    show.confirmShow(m_dir->path(), QStringLiteral("5"));
    QTRY_VERIFY(closed);
    QTRY_VERIFY_WITH_TIMEOUT(viewer.isNull(), 5000);
    QCOMPARE(show.captions.size(), 1);
    QCOMPARE(int(show.state().ShowStarted), 0);
    QCOMPARE(int(show.state().PictureCount), 10000);
    // Without the viewer the setup window closes for good.
    show.setup().show();
    QVERIFY(show.setup().close());
}

QTEST_MAIN(CommandsTest)
#include "tst_commands.moc"
