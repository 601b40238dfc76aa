#pragma once

#include "music/soundfiles.h"
#include "runtime/int16.h"

#include <QString>

#include <functional>

class MediaPlayerControl;
class QLabel;
struct SharedState;

// Background music: the MP3 with a picture's name is queued in the playlist, and the next
// queued track is handed to the player at a picture change when none is playing.
namespace BackgroundMusic {

// The last playlist entry; the entry after it is entry 1 again.
constexpr int LastEntry = 200;

// Finds the sound file that answers to a path ignoring letter case and that opens for
// reading: the file found, or empty. The show has it done on a worker thread; empty, the
// lookup is done where it is asked for.
using FindSound = std::function<QString(const QString &path)>;

// What the music step works on: the program-wide state, the player and the now-playing label
// of the setup window (may be null: nothing is shown then), and how sound files are found.
struct MusicContext
{
    SharedState &state;
    MediaPlayerControl &player;
    QLabel *nowPlaying;
    FindSound find = {};
};

// Whether the MP3 of a sound path exists: MUSICA, with or without an extension, becomes the
// MP3 found (ER 0) or the path cut & ".WAV" (ER 1, the WAV itself is not looked for).
// Raises no error.
void CONTROLLO_ESISTENZA_MP3(QString &MUSICA, Int16 &ER, const FindSound &find = {});

// The music step after a shown picture: queues the picture's MP3 when it exists (a ring of
// LastEntry entries) and, when the player is free, hands the next entry to PlayTrack.
// A failing read of the player's state raises its error to the caller.
void RunMusicStep(const MusicContext &music);

} // namespace BackgroundMusic

namespace GL_LARK {

// Plays a sound path unless a track is playing, which is never stopped: the MP3 with its name,
// else the WAV. On return TrackFile is the path settled on (the file found, or the cut path &
// ".WAV" when neither is there); Label3 shows it once the player has taken it. When the player
// was asked to play, the call ends with one yield to the event queue. PlayResult is 1 when the
// entry is empty, when no WAV of the fallback opens, or when the player fails during the
// fallback; else 0 (with the MP3 a failing step of the player is skipped).
void PlayTrack(MediaPlayerControl &player, QLabel *Label3, QString &TrackFile, Int16 &PlayResult,
               const BackgroundMusic::FindSound &find = {});

} // namespace GL_LARK
