#include "app/albumapplication.h"

#include "desktop/afterfirstpaint.h"
#include "desktop/platformservices.h"
#include "music/qtmediaplayer.h"
#include "desktop/showclock.h"
#include "setup/setupwindow.h"
#include "viewer/viewerwindow.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QLineEdit>
#include <QScreen>
#include <QThread>
#include <QWindow>

#include <algorithm>

AlbumApplication::AlbumApplication(PlatformServices &services, MediaPlayerControl &player,
                                   QWidget *playerBar, ShowClock *clock)
    : m_services(services), m_player(player),
      m_ownClock(clock ? nullptr : std::make_unique<ShowClock>()),
      m_clock(clock ? *clock : *m_ownClock), m_fileChecks(1),
      m_pictures(std::clamp(QThread::idealThreadCount(), 2, 3))
{
    m_setup = std::make_unique<LARK_M1>(
        m_state, m_services, m_player, m_gate, playerBar, [this] { openViewer(); },
        [this] { return m_viewer && m_viewer->isVisible(); });
    m_remote = std::make_unique<RemoteControl>(
        m_state, m_player, *m_setup, [this] { return viewerIfLoaded(); },
        QString::fromLatin1(DesktopEntry));
    // The first picture is decoded while the fields name it, and looked for again when the
    // user comes back to the window (files may have come or gone meanwhile).
    for (QLineEdit *field : {m_setup->Text1, m_setup->Text3})
        QObject::connect(field, &QLineEdit::textChanged, m_setup.get(), [this] { aimHeadStart(); });
    QObject::connect(qApp, &QGuiApplication::focusWindowChanged, m_setup.get(),
                     [this](QWindow *focused) {
                         if (focused && focused == m_setup->windowHandle())
                             m_headStart.recheck();
                     });
    // The desktop hears of a track as it starts and ends.
    if (auto *qtPlayer = qobject_cast<QtMediaPlayer *>(playerBar)) {
        QObject::connect(qtPlayer, &QtMediaPlayer::trackStarted, m_remote.get(),
                         &RemoteControl::scheduleUpdate);
        QObject::connect(qtPlayer, &QtMediaPlayer::trackFinished, m_remote.get(),
                         &RemoteControl::scheduleUpdate);
    }
}

AlbumApplication::~AlbumApplication()
{
    delete m_viewer.data();
    for (const QPointer<LARK_M7> &viewer : std::as_const(m_leftViewers))
        delete viewer.data();
}

LARK_M7 *AlbumApplication::viewerIfLoaded() const
{
    return m_viewer.data();
}

LARK_M7 &AlbumApplication::viewer()
{
    if (!m_viewer) {
        m_viewer = new LARK_M7(m_state, m_services, m_player, *m_setup, m_clock, m_gate,
                               m_fileChecks, m_pictures, m_decodes);
        LARK_M7 *viewer = m_viewer;
        QObject::connect(viewer, &LARK_M7::left, viewer,
                         [this, viewer](bool byFrame) { viewerLeft(viewer, byFrame); });
        // The screen stays awake while the open viewer's show runs.
        QObject::connect(viewer, &LARK_M7::showStatusChanged, viewer,
                         [this, viewer](const LARK_M7::ShowStatus &status) {
                             if (viewer == m_viewer)
                                 m_screenSaver.setInhibited(status.stage ==
                                                            LARK_M7::ShowStatus::Running);
                         });
        m_remote->watchViewer(viewer);
    }
    return *m_viewer;
}

void AlbumApplication::start()
{
    m_setup->show();
    // The show's hourglass and the decoders are made ready once the window is up, not when
    // "CONFERMA" is in a hurry for the first picture.
    new AfterFirstPaint(m_setup.get(), [this] {
        m_services.preparePointers(m_setup->screen());
        m_headStart.prepare(m_setup->screen());
    });
    // Moved to another screen, the window names pictures of another size.
    if (QWindow *window = m_setup->windowHandle())
        QObject::connect(window, &QWindow::screenChanged, m_setup.get(),
                         [this] { aimHeadStart(); });
}

void AlbumApplication::aimHeadStart()
{
    // While a show is on the screen its own pictures decode; the head start waits until the
    // viewer has gone.
    if (m_viewer && m_viewer->isVisible()) {
        m_headStart.stop();
        return;
    }
    const LARK_M1::ShowFiles files = m_setup->filesToConfirm();
    m_headStart.aim(files.folder, files.extension, m_setup->screen());
}

void AlbumApplication::openViewer()
{
    LARK_M7 &window = viewer();
    if (window.isVisible()) {
        window.raise();
        window.activateWindow();
        return;
    }
    // The viewer opens maximized on the screen of the setup window, beside it: where the user
    // has moved the setup window to the television, the show is there.
    if (QScreen *screen = m_setup->screen()) {
        window.setScreen(screen);
        window.move(screen->availableGeometry().topLeft());
    }
    // Its first picture is decoded already, or decodes meanwhile.
    m_headStart.handOver(m_state.ImageFolder, m_state.ImageExtension, window.screen(), window);
    window.showMaximized();
}

void AlbumApplication::viewerLeft(LARK_M7 *viewer, bool byFrame)
{
    // The next confirmation loads a fresh viewer.
    if (m_viewer == viewer) {
        m_viewer = nullptr;
        m_screenSaver.setInhibited(false);
    }
    m_leftViewers.removeAll(nullptr);
    m_leftViewers << viewer;
    // The next "CONFERMA" may show the same pictures again.
    aimHeadStart();
    if (m_setup->isVisible())
        return;
    // The setup window was closed while the viewer was open: closing the viewer too ends the
    // program; leaving it with "USCITA" brings the setup window back.
    if (byFrame)
        QCoreApplication::quit();
    else
        m_setup->show();
}
