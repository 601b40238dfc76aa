#pragma once

#include "music/mediaplayercontrol.h"

#include <QStringList>

#include <optional>

// A media player for tests: the test sets its switch and its state; every call is recorded.
class FakeMediaPlayer : public MediaPlayerControl
{
public:
    bool GetMusicSwitch() override;
    int GetPlayerState() override;
    void StopPlayer() override;
    void SetPlayerFile(const QString &path) override;

    bool musicSwitch = true;
    int state = 0;                 // what GetPlayerState answers
    bool playWhenSet = true;       // a set file makes the state 2
    std::optional<int> stateError; // when set, reading the state raises this error number
    std::optional<int> stopError;  // when set, stopping raises this error number
    std::optional<int> setError;   // when set, setting a file raises this error number
    QStringList calls;             // "switch", "state", "stop", "set <path>"
    QStringList filesSet;
};
