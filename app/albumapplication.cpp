#include "app/albumapplication.h"

#include "music/qtmediaplayer.h"
#include "desktop/showclock.h"
#include "setup/setupwindow.h"
#include "viewer/viewerwindow.h"

#include <QCoreApplication>
#include <QScreen>
#include <QThread>

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
    // Its first picture decodes meanwhile.
    window.prepareFirstPicture();
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
    if (m_setup->isVisible())
        return;
    // The setup window was closed while the viewer was open: closing the viewer too ends the
    // program; leaving it with "USCITA" brings the setup window back.
    if (byFrame)
        QCoreApplication::quit();
    else
        m_setup->show();
}
