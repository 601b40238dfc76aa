// The viewer's music operations: thin calls into the music code, with the setup window's
// now-playing label.
#include "viewer/viewerwindow.h"

#include "music/backgroundmusic.h"
#include "desktop/commandgate.h"
#include "pictures/fileworker.h"
#include "setup/setupwindow.h"

void LARK_M7::CONTROLLO_ESISTENZA_MP3(QString &MUSICA, Int16 &ER)
{
    BackgroundMusic::CONTROLLO_ESISTENZA_MP3(MUSICA, ER, findSound());
}

void LARK_M7::RunMusicStep()
{
    BackgroundMusic::RunMusicStep({m_state, m_player, m_setup.Label3, findSound()});
}

BackgroundMusic::FindSound LARK_M7::findSound()
{
    // Sound files are looked for on the worker, as pictures are: a folder of many files, or
    // one that stops answering, does not stop the window.
    return [this](const QString &path) {
        return m_gate.waitFor(m_fileChecks.run<QString>(
            [path] { return BackgroundMusic::openableIgnoringCase(path); }));
    };
}
