#include "fakemediaplayer.h"

#include "runtime/runtimeerror.h"

bool FakeMediaPlayer::GetMusicSwitch()
{
    calls << QStringLiteral("switch");
    return musicSwitch;
}

int FakeMediaPlayer::GetPlayerState()
{
    calls << QStringLiteral("state");
    if (stateError)
        throw RuntimeError(*stateError, QStringLiteral("Errore del lettore multimediale"));
    return state;
}

void FakeMediaPlayer::StopPlayer()
{
    calls << QStringLiteral("stop");
    if (stopError)
        throw RuntimeError(*stopError, QStringLiteral("Errore del lettore multimediale"));
    state = 0;
}

void FakeMediaPlayer::SetPlayerFile(const QString &path)
{
    calls << QStringLiteral("set ") + path;
    if (setError)
        throw RuntimeError(*setError, QStringLiteral("Errore del lettore multimediale"));
    filesSet << path;
    if (playWhenSet)
        state = Playing;
}
