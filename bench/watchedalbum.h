#pragma once

#include "benchsupport.h"

#include "app/albumapplication.h"
#include "desktop/showclock.h"
#include "music/qtmediaplayer.h"

// The real clock, noting when it was last read and the read before: the loop reads it at the
// start of every turn and at every check of its wait, so the last read is a turn's start and
// the one before it the read that ended the wait.
class WatchedClock : public ShowClock
{
public:
    qint64 nowMs() const override
    {
        m_previousReadNs = m_lastReadNs;
        m_lastReadNs = Bench::nowNs();
        return ShowClock::nowMs();
    }
    qint64 lastReadNs() const { return m_lastReadNs; }
    qint64 previousReadNs() const { return m_previousReadNs; }

private:
    mutable qint64 m_lastReadNs = -1;
    mutable qint64 m_previousReadNs = -1;
};

// The real program as a benchmark's child runs it: the real media player, and the watched clock
// that times the show.
struct WatchedAlbum
{
    explicit WatchedAlbum(PlatformServices &services) : album(services, *player, player, &clock) {}

    QtMediaPlayer *const player = new QtMediaPlayer; // its bar goes into the setup window
    WatchedClock clock;
    AlbumApplication album;
};
