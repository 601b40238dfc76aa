#pragma once

#include "music/mediaplayercontrol.h"

#include <QWidget>

class QAudioOutput;
class QCheckBox;
class QLabel;
class QMediaPlayer;
class QProgressBar;
class QSlider;
class QToolButton;

// The media player on QMediaPlayer, with a small control bar: the "Musica" switch (on at
// start), a stop button, the volume and the track's position.
// A track that cannot be played counts as ended at once, so the music goes on with the
// next one instead of waiting forever.
class QtMediaPlayer : public QWidget, public MediaPlayerControl
{
    Q_OBJECT

public:
    explicit QtMediaPlayer(QWidget *parent = nullptr);
    ~QtMediaPlayer() override;

    bool GetMusicSwitch() override;
    int GetPlayerState() override;
    void StopPlayer() override;
    void SetPlayerFile(const QString &path) override;

    // The file set last, as a local path; empty before the first.
    QString currentFile() const;

signals:
    // The set track has started playing.
    void trackStarted();
    // The set track has ended, failed or been stopped.
    void trackFinished();

private:
    void createPlayer();
    void endOfMedia();
    void finishTrack();
    void showPosition(qint64 milliseconds);

    QMediaPlayer *m_player = nullptr;
    QAudioOutput *m_output = nullptr;
    QCheckBox *m_musicSwitch = nullptr;
    QToolButton *m_stopButton = nullptr;
    QSlider *m_volume = nullptr;
    QProgressBar *m_position = nullptr;
    QLabel *m_time = nullptr;
    bool m_playing = false;
    bool m_failed = false;
    bool m_restarted = false; // the set track has been started again after an end unplayed
    QString m_file;           // the path set last
    int m_descriptor = -1;    // open on the file set last when its name is no UTF-8, else -1
};
