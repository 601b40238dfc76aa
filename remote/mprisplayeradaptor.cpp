#include "remote/mprisplayeradaptor.h"

#include "remote/mprisplayer.h"

MprisPlayerAdaptor::MprisPlayerAdaptor(MprisPlayer *player)
    : QDBusAbstractAdaptor(player), m_player(*player)
{
}

QString MprisPlayerAdaptor::playbackStatus() const
{
    return m_player.playbackStatus();
}

QVariantMap MprisPlayerAdaptor::metadata() const
{
    return m_player.metadata();
}

bool MprisPlayerAdaptor::canGoNext() const
{
    return m_player.show().canGoNext;
}

bool MprisPlayerAdaptor::canPlay() const
{
    return m_player.show().canPlay;
}

bool MprisPlayerAdaptor::canPause() const
{
    return m_player.show().canPause;
}

void MprisPlayerAdaptor::PlayPause()
{
    emit m_player.playPauseRequested();
}

void MprisPlayerAdaptor::Play()
{
    emit m_player.playRequested();
}

void MprisPlayerAdaptor::Pause()
{
    emit m_player.pauseRequested();
}

void MprisPlayerAdaptor::Next()
{
    emit m_player.nextRequested();
}

void MprisPlayerAdaptor::Stop()
{
    emit m_player.stopRequested();
}
