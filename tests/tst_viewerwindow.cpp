#include "app/albumapplication.h"
#include "music/qtmediaplayer.h"
#include "runtime/twips.h"
#include "setup/setupwindow.h"
#include "viewer/buttonlayout.h"
#include "viewer/imagecontrol.h"
#include "viewer/picturebox.h"
#include "viewer/viewerwindow.h"

#include "support/fakemediaplayer.h"
#include "support/fakeplatformservices.h"

#include <QAccessible>
#include <QBackingStore>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QWindow>

#include <memory>

class ViewerWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void layoutsOnA12000By9000Window();
    void layoutsDoNotClampSmallWindows();
    void loadPreparesTheWindow();
    void resizeBeforeTheShowPlacesTheButtons();
    void resizeAfterTheStartFollowsShowRunning();
    void everyControlTellsScreenReadersWhatItDoes();
    void opensOnTheScreenOfTheSetupWindow();

private:
    LARK_M7 *openViewer();
    // Resizes the viewer to an outer size in twips and lets the resize arrive.
    void resizeViewer(LARK_M7 *viewer, int widthTwips, int heightTwips);
    static QPoint pixels(float left, float top)
    {
        return {Twips::toPixels(left), Twips::toPixels(top)};
    }

    std::unique_ptr<FakePlatformServices> m_services;
    std::unique_ptr<FakeMediaPlayer> m_player;
    std::unique_ptr<AlbumApplication> m_app;
    QTemporaryDir m_dir;
};

void ViewerWindowTest::init()
{
    m_services = std::make_unique<FakePlatformServices>();
    m_player = std::make_unique<FakeMediaPlayer>();
    m_app = std::make_unique<AlbumApplication>(*m_services, *m_player);
    m_app->start();
}

void ViewerWindowTest::cleanup()
{
    m_app.reset();
    m_player.reset();
    m_services.reset();
}

LARK_M7 *ViewerWindowTest::openViewer()
{
    LARK_M1 &setup = m_app->setupWindow();
    m_services->dialogAnswers << m_dir.filePath(QStringLiteral("A.JPG"));
    QTest::mouseClick(setup.Command1, Qt::LeftButton);
    QTest::mouseClick(setup.Command2, Qt::LeftButton);
    LARK_M7 *viewer = m_app->viewerIfLoaded();
    if (viewer)
        (void)QTest::qWaitForWindowExposed(viewer);
    return viewer;
}

void ViewerWindowTest::resizeViewer(LARK_M7 *viewer, int widthTwips, int heightTwips)
{
    viewer->showNormal();
    const QSize frame = viewer->frameGeometry().size() - viewer->size();
    viewer->resize(QSize(Twips::toPixels(widthTwips), Twips::toPixels(heightTwips)) - frame);
    QTRY_COMPARE(viewer->outerWidth(), float(widthTwips));
    QTRY_COMPARE(viewer->outerHeight(), float(heightTwips));
}

void ViewerWindowTest::layoutsOnA12000By9000Window()
{
    const ButtonLayout::Place running = ButtonLayout::running(9000, 12000);
    QCOMPARE(running.left, 9700.0f);
    QCOMPARE(running.top, 8000.0f);
    const ButtonLayout::Paused paused = ButtonLayout::paused(9000, 12000);
    QCOMPARE(paused.command1.left, 7900.0f);
    QCOMPARE(paused.command1.top, 8000.0f);
    QCOMPARE(paused.command2.left, 9700.0f);
    QCOMPARE(paused.command2.top, 8000.0f);
    QCOMPARE(paused.command3.left, 9700.0f);
    QCOMPARE(paused.command3.top, 7400.0f);

    // The same through the window's own layouts, which read its outer size.
    LARK_M7 *viewer = openViewer();
    QVERIFY(viewer);
    resizeViewer(viewer, 12000, 9000);
    viewer->applyPausedLayout();
    QCOMPARE(viewer->Command1->pos(), pixels(7900, 8000));
    QCOMPARE(viewer->Command2->pos(), pixels(9700, 8000));
    QCOMPARE(viewer->Command3->pos(), pixels(9700, 7400));
    viewer->applyRunningLayout();
    QCOMPARE(viewer->Command3->pos(), pixels(9700, 8000));
    QCOMPARE(viewer->Command1->pos(), pixels(7900, 8000)); // left where the pause put it
}

void ViewerWindowTest::layoutsDoNotClampSmallWindows()
{
    const ButtonLayout::Paused paused = ButtonLayout::paused(900, 2000);
    QCOMPARE(paused.command1.left, -2100.0f);
    QCOMPARE(paused.command3.top, -700.0f);
    QCOMPARE(paused.command2.top, -100.0f);
    QCOMPARE(ButtonLayout::running(900, 2000).left, -300.0f);
}

void ViewerWindowTest::loadPreparesTheWindow()
{
    SharedState &state = m_app->state();
    state.Playlist(5) = QStringLiteral("/x/A.MP3");
    state.LoopActive = 1;
    state.ShowRunning = 1;
    LARK_M7 *viewer = openViewer();
    QVERIFY(viewer);
    QCOMPARE(viewer->windowTitle(), QStringLiteral("FOTO"));
    QCOMPARE(viewer->palette().color(QPalette::Window), QColor(0, 128, 0));
    QVERIFY(viewer->font().bold());
    QCOMPARE(int(state.LoopActive), 0);
    QCOMPARE(int(state.ShowRunning), 0);
    for (int i = 0; i < 201; ++i)
        QCOMPARE(state.Playlist(i), QString());
    QVERIFY(viewer->Picture1->isHidden());
    QCOMPARE(viewer->Command1->text(), QStringLiteral("STAMPA"));
    QCOMPARE(viewer->Command2->text(), QStringLiteral("USCITA"));
    QCOMPARE(viewer->Command3->text(), QStringLiteral("PAUSA"));
    // Opened maximized: print and leave on the bottom row where the show's end shows them;
    // the image fills the designed client area.
    const ButtonLayout::Paused bottomRow =
        ButtonLayout::paused(viewer->outerHeight(), viewer->outerWidth());
    QCOMPARE(viewer->Command1->pos(), pixels(bottomRow.command1.left, bottomRow.command1.top));
    QCOMPARE(viewer->Command2->pos(), pixels(bottomRow.command2.left, bottomRow.command2.top));
    QCOMPARE(viewer->Image1->geometry(), QRect(8, 8, 729, 513));
}

void ViewerWindowTest::resizeBeforeTheShowPlacesTheButtons()
{
    LARK_M7 *viewer = openViewer();
    QVERIFY(viewer);
    QCOMPARE(int(m_app->state().ShowStarted), 0);
    resizeViewer(viewer, 9000, 6000);
    resizeViewer(viewer, 15000, 10500);
    // The running layout, with print and leave where the show's end shows them.
    QCOMPARE(viewer->Command3->pos(), pixels(12700, 9500));
    QCOMPARE(viewer->Command1->pos(), pixels(10900, 9500));
    QCOMPARE(viewer->Command2->pos(), pixels(12700, 9500));
}

void ViewerWindowTest::resizeAfterTheStartFollowsShowRunning()
{
    LARK_M7 *viewer = openViewer();
    QVERIFY(viewer);
    SharedState &state = m_app->state();
    state.ShowStarted = 1;
    state.ShowRunning = 0;
    resizeViewer(viewer, 12000, 9000);
    QTRY_COMPARE(viewer->Command3->pos(), pixels(9700, 7400));
    QCOMPARE(viewer->Command1->pos(), pixels(7900, 8000));
    QCOMPARE(viewer->Command2->pos(), pixels(9700, 8000));

    state.ShowRunning = 1;
    resizeViewer(viewer, 15000, 10500);
    QTRY_COMPARE(viewer->Command3->pos(), pixels(12700, 9500));
    QCOMPARE(viewer->Command1->pos(), pixels(10900, 9500)); // where the show's end shows it

    // Minimized and restored after a key press: the paused layout.
    state.ShowRunning = 0;
    viewer->showMinimized();
    viewer->showNormal();
    QTRY_COMPARE(viewer->Command3->pos(), pixels(12700, 8900));
    QCOMPARE(viewer->Command1->pos(), pixels(10900, 9500));

    // Made larger than its screen by another program: back to the screen's size before a paint.
    const QSize screen = viewer->screen()->geometry().size();
    viewer->windowHandle()->resize(screen * 4);
    QTRY_COMPARE(viewer->size(), screen);
    QCOMPARE(viewer->backingStore()->size().boundedTo(screen), viewer->backingStore()->size());
}

void ViewerWindowTest::everyControlTellsScreenReadersWhatItDoes()
{
    // Both windows, the setup window with the real player bar.
    auto *bar = new QtMediaPlayer;
    m_app = std::make_unique<AlbumApplication>(*m_services, *bar, bar);
    m_app->start();
    LARK_M7 *viewer = openViewer();
    QVERIFY(viewer);
    LARK_M1 &setup = m_app->setupWindow();
    auto said = [](QWidget *widget, QAccessible::Text text) {
        return QAccessible::queryAccessibleInterface(widget)->text(text);
    };
    const QList<std::pair<QWidget *, const char *>> names = {
        {setup.Text1, "Cartella delle immagini"},
        {setup.Command1, "Sfoglia"},
        {setup.Text3, "Estensione delle immagini"},
        {setup.Text2, "Secondi di ritardo tra due immagini"},
        {setup.Check1, "Visione ciclica delle immagini"},
        {setup.Command2, "Conferma"},
        {setup.Command3, "Fine"},
        {bar, "Lettore musicale"},
        {bar->findChild<QCheckBox *>(), "Musica"},
        {bar->findChild<QToolButton *>(), "Ferma il brano"},
        {bar->findChild<QSlider *>(), "Volume"},
        {viewer->Command1, "Stampa"},
        {viewer->Command2, "Uscita"},
        {viewer->Command3, "PAUSA"},
        {viewer->Image1, "Immagine"},
    };
    for (const auto &[widget, name] : names)
        QCOMPARE(said(widget, QAccessible::Name), QString::fromUtf8(name));
    // Every control but the labels, which say their text, has a name and says what it does.
    for (QWidget *window : {static_cast<QWidget *>(&setup), static_cast<QWidget *>(viewer)}) {
        for (QWidget *control : window->findChildren<QWidget *>()) {
            if (qobject_cast<QLabel *>(control))
                continue;
            const QString what = control->metaObject()->className();
            QVERIFY2(!said(control, QAccessible::Name).isEmpty(), qPrintable(what));
            QVERIFY2(!said(control, QAccessible::Description).isEmpty(), qPrintable(what));
        }
    }
}

void ViewerWindowTest::opensOnTheScreenOfTheSetupWindow()
{
    if (QGuiApplication::screens().size() < 2)
        QSKIP("one screen; tst_viewerwindow_twoscreens gives two");
    // The setup window moved to the screen where a new window does not open by itself.
    LARK_M1 &setup = m_app->setupWindow();
    QScreen *first = QGuiApplication::screenAt(QPoint(0, 0));
    QScreen *other = QGuiApplication::screens().first() == first
                         ? QGuiApplication::screens().last()
                         : QGuiApplication::screens().first();
    setup.move(other->geometry().topLeft() + QPoint(40, 40));
    QTRY_COMPARE(setup.screen(), other);
    LARK_M7 *viewer = openViewer();
    QVERIFY(viewer);
    QCOMPARE(viewer->screen(), other);
    QVERIFY(viewer->isMaximized());
    QVERIFY(other->geometry().contains(viewer->frameGeometry()));
}

QTEST_MAIN(ViewerWindowTest)
#include "tst_viewerwindow.moc"
