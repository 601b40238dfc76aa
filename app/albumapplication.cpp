#include "app/albumapplication.h"

#include "runtime/showclock.h"
#include "setup/setupwindow.h"
#include "viewer/viewerwindow.h"

AlbumApplication::AlbumApplication(PlatformServices &services, MediaPlayerControl &player,
                                   QWidget *playerBar, ShowClock *clock)
    : m_services(services), m_player(player),
      m_ownClock(clock ? nullptr : std::make_unique<ShowClock>()),
      m_clock(clock ? *clock : *m_ownClock)
{
    m_setup = std::make_unique<LARK_M1>(m_state, m_services, m_player, playerBar,
                                        [this] { openViewer(); });
}

AlbumApplication::~AlbumApplication()
{
    delete m_viewer.data();
}

LARK_M7 *AlbumApplication::viewerIfLoaded() const { return m_viewer.data(); }

LARK_M7 &AlbumApplication::viewer()
{
    if (!m_viewer)
        m_viewer = new LARK_M7(m_state, m_services, m_player, *m_setup, m_clock);
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
    // The viewer opens maximized, beside the setup window.
    window.showMaximized();
}
