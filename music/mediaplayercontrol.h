#pragma once

#include <QString>

// The media player as the program uses it: four operations. Setting a file starts it; the
// state reads Playing (2) from then until that file has ended, failed or been stopped.
class MediaPlayerControl
{
public:
    static constexpr int Playing = 2;

    virtual ~MediaPlayerControl() = default;

    // The "Musica" switch: whether background music is to be used.
    virtual bool GetMusicSwitch() = 0;
    // 2 while a track plays, another value when the player is free.
    virtual int GetPlayerState() = 0;
    // Stops the current track, if any.
    virtual void StopPlayer() = 0;
    // Sets the sound file to play (full path); this alone starts it.
    virtual void SetPlayerFile(const QString &path) = 0;
};
