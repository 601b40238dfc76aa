#include "app/albumapplication.h"
#include "music/qtmediaplayer.h"
#include "runtime/twips.h"
#include "setup/setupwindow.h"
#include "viewer/buttonlayout.h"
#include "viewer/imagecontrol.h"
#include "viewer/picturebox.h"
#include "viewer/viewerwindow.h"

#include "support/showfixture.h"
#include "support/testfiles.h"

#include <QAccessible>
#include <QBackingStore>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRandomGenerator>
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
    void init() { m_show = std::make_unique<ShowFixture>(); }
    void cleanup() { m_show.reset(); }

    void buttonLayouts_data();
    void buttonLayouts();
    void loadPreparesTheWindow();
    void resizeBeforeTheShowPlacesTheButtons();
    void resizeAfterTheStartFollowsShowRunning();
    void everyControlTellsScreenReadersWhatItDoes();
    void opensOnTheScreenOfTheSetupWindow();
    void resizesDuringAShowGiveTheImageNoNegativeSize();

private:
    LARK_M7 *openViewer();
    // Resizes the viewer to an outer size in twips and lets the resize arrive.
    void resizeViewer(LARK_M7 *viewer, int widthTwips, int heightTwips);
    static QPoint pixels(float left, float top)
    {
        return {Twips::toPixels(left), Twips::toPixels(top)};
    }

    std::unique_ptr<ShowFixture> m_show;
    QTemporaryDir m_dir;
};

LARK_M7 *ViewerWindowTest::openViewer()
{
    LARK_M1 &setup = m_show->setup();
    m_show->services.dialogAnswers << m_dir.filePath(QStringLiteral("A.JPG"));
    QTest::mouseClick(setup.Command1, Qt::LeftButton);
    QTest::mouseClick(setup.Command2, Qt::LeftButton);
    LARK_M7 *viewer = m_show->viewer();
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

void ViewerWindowTest::buttonLayouts_data()
{
    // The window's outer size, and the places of the buttons, twips.
    QTest::addColumn<QSizeF>("size");
    QTest::addColumn<QPointF>("running");
    QTest::addColumn<QList<QPointF>>("paused"); // STAMPA, USCITA, the toggle
    QTest::newRow("12000 x 9000") << QSizeF(12000, 9000) << QPointF(9700, 8000)
                                  << QList<QPointF>{{7900, 8000}, {9700, 8000}, {9700, 7400}};
    // Small windows are not clamped.
    QTest::newRow("2000 x 900") << QSizeF(2000, 900) << QPointF(-300, -100)
                                << QList<QPointF>{{-2100, -100}, {-300, -100}, {-300, -700}};
}

void ViewerWindowTest::buttonLayouts()
{
    QFETCH(QSizeF, size);
    QFETCH(QPointF, running);
    QFETCH(QList<QPointF>, paused);
    const auto point = [](ButtonLayout::Place place) { return QPointF(place.left, place.top); };
    const ButtonLayout::Paused places = ButtonLayout::paused(size.height(), size.width());
    QCOMPARE(point(ButtonLayout::running(size.height(), size.width())), running);
    QCOMPARE(
        (QList<QPointF>{point(places.command1), point(places.command2), point(places.command3)}),
        paused);
}

void ViewerWindowTest::loadPreparesTheWindow()
{
    SharedState &state = m_show->state();
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
    QCOMPARE(int(m_show->state().ShowStarted), 0);
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
    SharedState &state = m_show->state();
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
    m_show = std::make_unique<ShowFixture>(bar);
    LARK_M7 *viewer = openViewer();
    QVERIFY(viewer);
    LARK_M1 &setup = m_show->setup();
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
    LARK_M1 &setup = m_show->setup();
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

void ViewerWindowTest::resizesDuringAShowGiveTheImageNoNegativeSize()
{
    TestFiles::writePictures(m_dir.path(), 20, {64, 48});
    // Each size is held over a few pictures, with small steps around it.
    const QSize sizes[] = {{800, 600}, {300, 200}, {20, 20}, {1, 1}, {1600, 1000}, {640, 900}};
    QRandomGenerator random(7);
    m_show->clock.everyTurn = [&] {
        const QSize size = sizes[m_show->clock.turns / 15 % 6];
        m_show->viewer()->showNormal();
        m_show->viewer()->resize(size.width() + int(random.bounded(7)) - 3,
                                 size.height() + int(random.bounded(7)) - 3);
    };
    m_show->confirmShow(m_dir.path(), QStringLiteral("0.5"));
    QVERIFY(m_show->waitForShowEnd());
    QVERIFY(m_show->services.messages.isEmpty());
    QCOMPARE(m_show->captions.size(), 20);
    // Pictures shown in a window too small for the margins got an empty image, never a
    // negative one; those in larger windows were shown.
    bool empty = false, sized = false;
    for (const QSize &size : std::as_const(m_show->imageSizesAtCaption)) {
        QVERIFY(size.width() >= 0 && size.height() >= 0);
        empty = empty || size.isEmpty();
        sized = sized || size.width() > 100;
    }
    QVERIFY(empty && sized);
}

QTEST_MAIN(ViewerWindowTest)
#include "tst_viewerwindow.moc"
