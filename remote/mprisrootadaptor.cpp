#include "remote/mprisrootadaptor.h"

#include "remote/mprisplayer.h"

MprisRootAdaptor::MprisRootAdaptor(MprisPlayer *player)
    : QDBusAbstractAdaptor(player), m_player(*player)
{
}

QString MprisRootAdaptor::identity() const
{
    return m_player.identity();
}

QString MprisRootAdaptor::desktopEntry() const
{
    return m_player.desktopEntry();
}

bool MprisRootAdaptor::canSetFullscreen() const
{
    return m_player.show().canSetFullscreen;
}

bool MprisRootAdaptor::fullscreen() const
{
    return m_player.show().fullscreen;
}

void MprisRootAdaptor::setFullscreen(bool fullscreen)
{
    emit m_player.fullscreenRequested(fullscreen);
}

void MprisRootAdaptor::Raise()
{
    emit m_player.raiseRequested();
}

void MprisRootAdaptor::Quit()
{
    emit m_player.quitRequested();
}
