#include "showfixture.h"

#include "runtime/paths.h"
#include "setup/setupwindow.h"
#include "viewer/imagecontrol.h"
#include "viewer/viewerwindow.h"

#include <QCheckBox>
#include <QEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QWindow>

ShowFixture::ShowFixture(FakeClock *clock) : m_clock(clock)
{
    app = std::make_unique<AlbumApplication>(services, player, nullptr, clock);
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
    QTest::mouseClick(window.Command1, Qt::LeftButton);
    window.Text3->setText(extension);
    window.Check1->setChecked(cyclic);
    m_sinceConfirm.start();
    QTest::mouseClick(window.Command2, Qt::LeftButton);
    watchViewer();
}

void ShowFixture::watchViewer()
{
    LARK_M7 *window = viewer();
    if (window && window != m_watched) {
        window->installEventFilter(this);
        m_watched = window;
    }
}

bool ShowFixture::waitForShowEnd(int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    // The show runs inside the event loop; it has ended once its loop is no longer active.
    do {
        QTest::qWait(10);
        LARK_M7 *window = viewer();
        if (window && state().ShowStarted == 1 && state().LoopActive == 0)
            return true;
    } while (clock.elapsed() < timeoutMs);
    return false;
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
    if (event->type() == QEvent::WindowTitleChange) {
        // The caption as the window system gets it.
        const QWidget *window = static_cast<QWidget *>(watched);
        const QString title =
            window->windowHandle() ? window->windowHandle()->title() : window->windowTitle();
        if (title.startsWith(QStringLiteral("IMMAGINE  "))) {
            captions << title.mid(10);
            shownTimes << m_sinceConfirm.elapsed();
            if (m_clock)
                clockTimes << m_clock->now;
            const LARK_M7 *window = static_cast<LARK_M7 *>(watched);
            imagesAtCaption << window->Image1->picture();
            imageSizesAtCaption << window->Image1->size();
        }
    }
    return false;
}

QString ShowFixture::differencesFromErrorPathEnd()
{
    QStringList differences;
    auto expect = [&differences](const char *what, int actual, int wanted) {
        if (actual != wanted)
            differences << QStringLiteral("%1 %2 (not %3)")
                               .arg(QLatin1String(what))
                               .arg(actual)
                               .arg(wanted);
    };
    expect("ShowState", state().ShowState, 1);
    expect("PictureCount", state().PictureCount, 1000);
    expect("BlockCount", state().BlockCount, 1000);
    expect("ProbeFailed", state().ProbeFailed, 1);
    LARK_M7 *window = viewer();
    if (!window)
        differences << QStringLiteral("no viewer");
    else {
        expect("STAMPA visible", window->Command1->isVisible(), 1);
        expect("toggle visible", window->Command3->isVisible(), 0);
    }
    return differences.join(QStringLiteral(", "));
}
