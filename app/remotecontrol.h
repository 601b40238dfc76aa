#pragma once

#include "remote/mprisplayer.h"

#include <QObject>

#include <functional>

class LARK_M1;
class LARK_M7;
class MediaPlayerControl;
struct SharedState;

// The desktop's media controls on the show: tells the MPRIS player how the open viewer's show
// stands, and turns the player's requests into the viewer's own commands. A request runs from
// the event queue as a click does, and is held like a click while the show waits for its file
// work, so that it takes effect at the same step of the show as the click it stands for.
class RemoteControl : public QObject
{
    Q_OBJECT

public:
    // What it reaches of the program: the state that names the track handed to the player, the
    // player, the setup window (raised when no viewer is open; its "F I N E" quits), and the
    // viewer loaded now, if any. desktopEntry names the program's desktop entry.
    RemoteControl(const SharedState &state, MediaPlayerControl &player, LARK_M1 &setup,
                  std::function<LARK_M7 *()> viewer, const QString &desktopEntry,
                  QObject *parent = nullptr);

    // Follows a viewer just loaded.
    void watchViewer(LARK_M7 *viewer);
    // Something the desktop sees may have changed: it is looked at at the next turn of the
    // event queue.
    void scheduleUpdate();

    // The show of the open viewer as the desktop sees it.
    MprisPlayer::Show currentShow() const;

private:
    enum class Request { PlayPause, Play, Pause, Next, Stop };

    void request(Request request);
    void runRequest(LARK_M7 &viewer, Request request);
    // The viewer on the screen, not left; null when there is none.
    LARK_M7 *openViewer() const;
    // The track the player plays; empty when it plays none.
    QString playingTrack() const;
    void update();
    void raise();

    const SharedState &m_state;
    MediaPlayerControl &m_mediaPlayer;
    LARK_M1 &m_setup;
    std::function<LARK_M7 *()> m_viewer;
    MprisPlayer m_player;
    QString m_shownPicture; // the picture the open viewer's caption names
    bool m_updateScheduled = false;
};
