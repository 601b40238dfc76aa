#include "app/remotecontrol.h"

#include "music/mediaplayercontrol.h"
#include "runtime/runtimeerror.h"
#include "setup/setupwindow.h"
#include "state/sharedstate.h"
#include "viewer/viewerwindow.h"

#include <QPushButton>

RemoteControl::RemoteControl(const SharedState &state, MediaPlayerControl &player, LARK_M1 &setup,
                             std::function<LARK_M7 *()> viewer, const QString &desktopEntry,
                             QObject *parent)
    : QObject(parent), m_state(state), m_mediaPlayer(player), m_setup(setup),
      m_viewer(std::move(viewer)), m_player(QStringLiteral("Album"), desktopEntry, this)
{
    connect(&m_player, &MprisPlayer::playPauseRequested, this,
            [this] { request(Request::PlayPause); });
    connect(&m_player, &MprisPlayer::playRequested, this, [this] { request(Request::Play); });
    connect(&m_player, &MprisPlayer::pauseRequested, this, [this] { request(Request::Pause); });
    connect(&m_player, &MprisPlayer::nextRequested, this, [this] { request(Request::Next); });
    connect(&m_player, &MprisPlayer::stopRequested, this, [this] { request(Request::Stop); });
    connect(&m_player, &MprisPlayer::raiseRequested, this, &RemoteControl::raise);
    // From the event queue: the desktop has its answer before the window changes its size.
    connect(
        &m_player, &MprisPlayer::fullscreenRequested, this,
        [this](bool fullscreen) {
            if (LARK_M7 *viewer = openViewer())
                viewer->setFullScreen(fullscreen);
        },
        Qt::QueuedConnection);
    // "F I N E", once the desktop has had its answer.
    connect(
        &m_player, &MprisPlayer::quitRequested, this,
        [this] {
            m_player.flush();
            m_setup.Command3->click();
        },
        Qt::QueuedConnection);
}

void RemoteControl::watchViewer(LARK_M7 *viewer)
{
    m_shownPicture.clear();
    if (!m_player.isRegistered())
        return;
    connect(viewer, &LARK_M7::showStatusChanged, this, &RemoteControl::scheduleUpdate);
    connect(viewer, &LARK_M7::fullScreenChanged, this, &RemoteControl::scheduleUpdate);
    connect(viewer, &LARK_M7::pictureNamed, this, [this, viewer](const QString &path) {
        // The caption names the picture as its turn comes.
        if (viewer != openViewer())
            return;
        m_shownPicture = path;
        scheduleUpdate();
    });
}

void RemoteControl::scheduleUpdate()
{
    if (!m_player.isRegistered() || m_updateScheduled)
        return;
    m_updateScheduled = true;
    QMetaObject::invokeMethod(this, &RemoteControl::update, Qt::QueuedConnection);
}

void RemoteControl::update()
{
    m_updateScheduled = false;
    m_player.setShow(currentShow());
}

MprisPlayer::Show RemoteControl::currentShow() const
{
    MprisPlayer::Show show;
    const LARK_M7 *viewer = openViewer();
    if (!viewer)
        return show;
    show.canSetFullscreen = true;
    show.fullscreen = viewer->isFullScreen();
    show.picturePath = m_shownPicture;
    show.trackPath = playingTrack();
    const LARK_M7::ShowStatus status = viewer->showStatus();
    if (status.stage == LARK_M7::ShowStatus::Running) {
        // The toggle pauses, unless a key press has turned it into a continue.
        show.status = MprisPlayer::Status::Playing;
        show.canPlay = true;
        show.canPause = status.pauses;
    } else if (status.stage == LARK_M7::ShowStatus::Paused) {
        // The toggle and a click on the background continue.
        show.status = MprisPlayer::Status::Paused;
        show.canPlay = true;
        show.canPause = true;
        show.canGoNext = true;
    }
    return show;
}

QString RemoteControl::playingTrack() const
{
    const QString &track = m_state.CurrentTrack;
    if (track.isEmpty())
        return {};
    try {
        if (m_mediaPlayer.GetPlayerState() == MediaPlayerControl::Playing)
            return track;
    } catch (const RuntimeError &) {
        // A player that cannot tell its state counts as silent.
    }
    return {};
}

LARK_M7 *RemoteControl::openViewer() const
{
    LARK_M7 *viewer = m_viewer();
    return viewer && viewer->isVisible() && !viewer->wasLeft() ? viewer : nullptr;
}

void RemoteControl::request(Request request)
{
    // From the event queue, as a click comes: the desktop has its answer at once, also when
    // the command then runs the show.
    QMetaObject::invokeMethod(
        this,
        [this, request] {
            if (LARK_M7 *viewer = openViewer())
                viewer->runAsClick([this, viewer, request] { runRequest(*viewer, request); },
                                   /*leaves*/ request == Request::Stop);
        },
        Qt::QueuedConnection);
}

void RemoteControl::runRequest(LARK_M7 &viewer, Request request)
{
    // Decided when the command runs: one held behind a click sees what the click did.
    if (&viewer != openViewer())
        return;
    const MprisPlayer::Show show = currentShow();
    // A continue runs the show inside the command: the desktop hears of it at its first yield.
    scheduleUpdate();
    // Each request clicks the control that does it, where the show's state lets it act.
    using Status = MprisPlayer::Status;
    const bool acts = request == Request::PlayPause ? show.status != Status::Stopped
                      : request == Request::Pause ? show.status == Status::Playing && show.canPause
                      : request == Request::Stop  ? true
                                                  : show.status == Status::Paused; // Play, Next
    void (LARK_M7::*const click)() = request == Request::Stop   ? &LARK_M7::Command2_Click
                                     : request == Request::Next ? &LARK_M7::Form_Click
                                                                : &LARK_M7::Command3_Click;
    if (acts)
        (viewer.*click)();
}

void RemoteControl::raise()
{
    // The setup window is hidden only while the viewer is open.
    QWidget *window = openViewer();
    if (!window)
        window = &m_setup;
    window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->show();
    window->raise();
    window->activateWindow();
}
