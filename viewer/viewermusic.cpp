// The viewer's music operations: thin calls into the music code, with the setup window's
// now-playing label.
#include "viewer/viewerwindow.h"

#include "music/backgroundmusic.h"
#include "setup/setupwindow.h"

void LARK_M7::CONTROLLO_ESISTENZA_MP3(QString &MUSICA, Int16 &ER)
{
    BackgroundMusic::CONTROLLO_ESISTENZA_MP3(MUSICA, ER);
}

void LARK_M7::RunMusicStep()
{
    BackgroundMusic::RunMusicStep({m_state, m_player, m_setup.Label3});
}
