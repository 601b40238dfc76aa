#include "showfixture.h"

#include "music/qtmediaplayer.h"
#include "desktop/eventyield.h"
#include "runtime/paths.h"
#include "setup/setupwindow.h"
#include "testfiles.h"
#include "viewer/imagecontrol.h"
#include "viewer/viewerwindow.h"

#include <QCheckBox>
#include <QDeadlineTimer>
#include <QEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QWindow>

ShowFixture::ShowFixture(QtMediaPlayer *realPlayer)
{
    if (realPlayer)
        app = std::make_unique<AlbumApplication>(services, *realPlayer, realPlayer, &clock);
    else
        app = std::make_unique<AlbumApplication>(services, player, nullptr, &clock);
    app->start();
}

ShowFixture::~ShowFixture()
{
    app.reset();
}

void ShowFixture::confirmShow(const QString &folder, const QString &delay, bool cyclic,
                              const QString &extension)
{
    LARK_M1 &window = setup();
    window.Text2->setText(delay);
    services.dialogAnswers << Paths::withClosingSeparator(folder) + QStringLiteral("any.JPG");
    click(window.Command1);
    window.Text3->setText(extension);
    window.Check1->setChecked(cyclic);
    click(window.Command2);
    if (LARK_M7 *opened = viewer(); opened && opened != m_watched) {
        opened->installEventFilter(this);
        m_watched = opened;
    }
}

bool ShowFixture::waitForShowEnd(int timeoutMs)
{
    // The show runs inside the event loop; it has ended once its loop is no longer active.
    return waitUntil(
        [this] { return viewer() && state().ShowStarted == 1 && state().LoopActive == 0; },
        timeoutMs);
}

bool ShowFixture::waitUntil(const std::function<bool()> &ended, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    // The events already waiting are served first: a held click may be among them.
    EventYield::yieldOnce();
    for (;;) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        if (ended())
            return true;
        if (deadline.hasExpired())
            return false;
        EventYield::waitForEvents(int(qBound(qint64(1), deadline.remainingTime(), qint64(100))));
    }
}

void ShowFixture::click(QWidget *widget)
{
    QTest::mouseClick(widget, Qt::LeftButton);
}

void ShowFixture::clickBackground()
{
    QTest::mouseClick(viewer(), Qt::LeftButton, {}, QPoint(viewer()->width() - 3, 3));
}

QColor ShowFixture::shownColour()
{
    return TestFiles::colourOf(viewer()->Image1->picture());
}

QStringList ShowFixture::shownNames() const
{
    QStringList names;
    for (const QString &caption : captions)
        names << Paths::fileNameOf(caption);
    return names;
}

bool ShowFixture::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::WindowTitleChange)
        return false;
    // The caption as the window system gets it.
    const auto *window = static_cast<LARK_M7 *>(watched);
    const QString title =
        window->windowHandle() ? window->windowHandle()->title() : window->windowTitle();
    if (title.startsWith(QStringLiteral("IMMAGINE  "))) {
        captions << title.mid(10);
        clockTimes << clock.now;
        imagesAtCaption << window->Image1->picture();
        imageSizesAtCaption << window->Image1->size();
    }
    return false;
}

QString ShowFixture::values(const QString &names)
{
    const SharedState &s = state();
    const QMap<QString, int> all = {{"ShowStarted", s.ShowStarted},
                                    {"ShowRunning", s.ShowRunning},
                                    {"ShowState", s.ShowState},
                                    {"PictureCount", s.PictureCount},
                                    {"BlockCount", s.BlockCount},
                                    {"LoopActive", s.LoopActive},
                                    {"ProbeFailed", s.ProbeFailed},
                                    {"TrackCount", s.TrackCount},
                                    {"TrackPos", s.TrackPos},
                                    {"MusicEnabled", s.MusicEnabled},
                                    {"activeLoops", viewer() ? viewer()->activeLoops() : -1}};
    QStringList values;
    for (const QString &name : names.split(u' '))
        values << name + u' ' + QString::number(all.value(name, -1));
    return values.join(u' ');
}

QString ShowFixture::buttons()
{
    QStringList shown;
    for (const QPushButton *button : {viewer()->Command1, viewer()->Command2, viewer()->Command3})
        if (button->isVisible())
            shown << button->text();
    return shown.join(u' ');
}

QString ShowFixture::differencesFromErrorPathEnd()
{
    QStringList differences;
    const auto expect = [&differences](const char *what, int actual, int wanted) {
        if (actual != wanted)
            differences << QStringLiteral("%1 %2 (not %3)").arg(what).arg(actual).arg(wanted);
    };
    expect("ShowState", state().ShowState, 1);
    expect("PictureCount", state().PictureCount, 1000);
    expect("BlockCount", state().BlockCount, 1000);
    expect("ProbeFailed", state().ProbeFailed, 1);
    expect("STAMPA visible", viewer()->Command1->isVisible(), 1);
    expect("toggle visible", viewer()->Command3->isVisible(), 0);
    return differences.join(QStringLiteral(", "));
}
