#pragma once

#include "runtime/directorycursor.h"
#include "runtime/int16.h"
#include "state/playlist.h"

#include <QString>

#include <optional>

// The values of ShowState.
enum ShowStateValue : int {
    ShowFresh = 0,     // confirmed, not started yet
    ShowStopped = 1,   // a stop was requested, or the show has ended
    ShowContinued = 2, // continued after a pause
};

// Values the picture counters are given so that the loop goes to its end at its next count: at
// a stop, and beyond every limit when the viewer is left or its picture clicked.
constexpr int CountAtStop = 1000;
constexpr int CountBeyondLimits = 10000;

// The program-wide variables through which the two windows and the music code cooperate.
// One instance lives for the whole run, owned by the application object.
struct SharedState
{
    QString ImageFolder;    // browsed folder, with its closing separator
    QString ShowFolder;     // folder of the running show: prefix of every picture path
    QString CurrentName;    // current picture's file name; empty when the folder is exhausted
    QString CurrentPath;    // ShowFolder & CurrentName
    QString ImageExtension; // picture extension with its leading dot, ".JPG" by default

    std::optional<double> DelaySeconds; // seconds between two pictures; empty until Browse

    Int16 ShowStarted;  // 1 once the viewer's first paint has started the show
    Int16 ShowRunning;  // 1 while pictures are shown; 0 while paused or stopped
    Int16 ShowState;    // a ShowStateValue
    Int16 PictureCount; // pictures of the current block
    Int16 BlockCount;   // blocks of pictures while the show runs continued
    Int16 LoopActive;   // 1 while the picture loop runs
    Int16 ProbeFailed;  // result of the last file probe: 0 success, 1 failure
    Int16 MusicEnabled; // 1 when background music is to be used

    ::Playlist Playlist;  // queued sound file paths, entries 1..200
    Int16 TrackCount;     // index of the playlist entry written last
    Int16 TrackPos;       // index of the playlist entry handed to playback last
    QString CurrentTrack; // sound file path handed to playback last

    DirectoryCursor Enumeration; // the one directory enumeration every activation advances
    int NestedLoops = 0;         // activations of the picture loop on the stack, every viewer's

    // The delay as the wait compares it: an empty delay counts as 0.
    double delayValue() const { return DelaySeconds.value_or(0.0); }
};
