#include "music/backgroundmusic.h"

#include "music/mediaplayercontrol.h"
#include "music/soundfiles.h"
#include "runtime/paths.h"
#include "desktop/eventyield.h"
#include "runtime/runtimeerror.h"
#include "state/sharedstate.h"

#include <QLabel>

namespace {

const QString Mp3Extension = QStringLiteral(".MP3");
const QString WavExtension = QStringLiteral(".WAV");

// The lookup to use: the one given, else the one done here.
QString find(const BackgroundMusic::FindSound &given, const QString &path)
{
    return given ? given(path) : BackgroundMusic::openableIgnoringCase(path);
}

// Runs one step of PlayTrack; false when the player raised an error, which is then dropped.
template <typename Step> bool attempt(Step step)
{
    try {
        step();
        return true;
    } catch (const RuntimeError &) {
        return false;
    }
}

} // namespace

namespace BackgroundMusic {

void CONTROLLO_ESISTENZA_MP3(QString &MUSICA, Int16 &ER, const FindSound &given)
{
    ER = 0;
    const QString cut = cutExtension(MUSICA);
    const QString found = find(given, cut + Mp3Extension);
    if (!found.isEmpty()) {
        MUSICA = found;
    } else {
        MUSICA = cut + WavExtension;
        ER = 1;
    }
}

void RunMusicStep(const MusicContext &music)
{
    SharedState &state = music.state;
    if (state.MusicEnabled == 0)
        return;

    const QString entry = playlistEntryFor(state.ImageFolder, state.CurrentName);
    QString probed = entry;
    CONTROLLO_ESISTENZA_MP3(probed, state.ProbeFailed, music.find);
    if (state.ProbeFailed == 0) {
        // The ring: after the last entry the next path overwrites entry 1.
        if (state.TrackCount >= LastEntry)
            state.TrackCount = 0;
        state.TrackCount += 1;
        state.Playlist(state.TrackCount) = entry;
    }
    if (state.TrackCount <= 0)
        return;
    if (state.TrackPos >= LastEntry)
        state.TrackPos = 0;
    // A track that plays is never interrupted; the next one waits for a later picture.
    if (music.player.GetPlayerState() == MediaPlayerControl::Playing)
        return;
    if (state.TrackPos > state.TrackCount)
        state.TrackPos = 0;
    state.TrackPos += 1;
    state.CurrentTrack = state.Playlist(state.TrackPos);
    GL_LARK::PlayTrack(music.player, music.nowPlaying, state.CurrentTrack, state.ProbeFailed,
                       music.find);
}

} // namespace BackgroundMusic

namespace GL_LARK {

void PlayTrack(MediaPlayerControl &player, QLabel *Label3, QString &TrackFile, Int16 &PlayResult,
               const BackgroundMusic::FindSound &given)
{
    PlayResult = 0;
    // An empty entry names no file: nothing is looked for, relative to nowhere.
    if (TrackFile.isEmpty()) {
        PlayResult = 1;
        return;
    }

    const QString cut = BackgroundMusic::cutExtension(TrackFile);
    const QString mp3 = find(given, cut + Mp3Extension);
    // With the MP3 a failing step of the player is skipped; with the WAV fallback any failure
    // ends the call with PlayResult 1.
    const bool fallback = mp3.isEmpty();
    if (!fallback) {
        TrackFile = mp3;
    } else {
        TrackFile = cut + WavExtension;
        const QString wav = find(given, TrackFile);
        if (wav.isEmpty()) {
            PlayResult = 1;
            return;
        }
        TrackFile = wav;
    }

    int playerState = 0;
    if (!attempt([&] { playerState = player.GetPlayerState(); })) {
        if (fallback)
            PlayResult = 1;
        return;
    }
    if (playerState == MediaPlayerControl::Playing)
        return;
    if (!attempt([&] { player.StopPlayer(); }) && fallback) {
        PlayResult = 1;
        return;
    }
    // The label names only a track the player has taken.
    if (attempt([&] { player.SetPlayerFile(TrackFile); })) {
        if (Label3)
            Label3->setText(Paths::forDisplay(TrackFile));
    } else if (fallback) {
        PlayResult = 1;
        return;
    }
    EventYield::yieldOnce();
}

} // namespace GL_LARK
