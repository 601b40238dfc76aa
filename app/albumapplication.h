#pragma once

#include "app/headstart.h"
#include "app/remotecontrol.h"
#include "desktop/commandgate.h"
#include "pictures/fileworker.h"
#include "pictures/picturesource.h"
#include "desktop/screensaverinhibitor.h"
#include "state/sharedstate.h"

#include <QPointer>

#include <memory>

class LARK_M1;
class LARK_M7;
class MediaPlayerControl;
class PlatformServices;
class ShowClock;
class QWidget;

// The application object: owns the program-wide state, the setup window with the media
// player, and the viewer, which it creates on first use. It keeps the screen awake while the
// viewer's show runs, and lets the desktop's media controls pause, continue and leave it.
class AlbumApplication
{
public:
    // The desktop entry's id, without ".desktop".
    static constexpr const char *DesktopEntry = "album";

    // playerBar is the player's control bar for the setup window, or null (tests);
    // clock is the show's time, the real one when null.
    AlbumApplication(PlatformServices &services, MediaPlayerControl &player,
                     QWidget *playerBar = nullptr, ShowClock *clock = nullptr);
    ~AlbumApplication();

    SharedState &state() { return m_state; }
    LARK_M1 &setupWindow() { return *m_setup; }
    MediaPlayerControl &player() { return m_player; }

    // The viewer, loaded on first use; null while it is not loaded.
    LARK_M7 *viewerIfLoaded() const;
    // The viewer, loaded now when it is not loaded yet.
    LARK_M7 &viewer();

    // Shows the setup window as the program starts.
    void start();

    ScreenSaverInhibitor &screenSaver() { return m_screenSaver; }
    // Holds the windows' handlers while the show waits for its file work.
    CommandGate &gate() { return m_gate; }

    // The first picture of the show the setup window names, decoded before "CONFERMA".
    HeadStart &headStart() { return m_headStart; }

private:
    void openViewer();
    void viewerLeft(LARK_M7 *viewer, bool byFrame);
    // Has the head start decode the first picture the setup window's fields name, while no
    // show is on the screen.
    void aimHeadStart();

    SharedState m_state;
    PlatformServices &m_services;
    MediaPlayerControl &m_player;
    std::unique_ptr<ShowClock> m_ownClock;
    ShowClock &m_clock;
    ScreenSaverInhibitor m_screenSaver; // released when the program ends
    CommandGate m_gate;
    FileWorker m_fileChecks; // listing folders, probing files: quick work, one at a time
    FileWorker m_pictures;   // decoding pictures, on every core
    // What the decodes of every viewer share: the memory they may take at once, and the time
    // this machine takes for each format.
    PictureSource::Shared m_decodes;
    HeadStart m_headStart{m_fileChecks, m_pictures, m_decodes};
    std::unique_ptr<LARK_M1> m_setup;
    std::unique_ptr<RemoteControl> m_remote; // the show on the session bus
    QPointer<LARK_M7> m_viewer;
    QList<QPointer<LARK_M7>> m_leftViewers; // hidden, going once their show is over
};
