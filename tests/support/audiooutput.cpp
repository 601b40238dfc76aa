#include "audiooutput.h"

#include "music/qtmediaplayer.h"
#include "testfiles.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

namespace AudioOutput {

bool available()
{
    static const bool works = [] {
        QTemporaryDir dir;
        const QString wav = dir.filePath(QStringLiteral("probe.WAV"));
        TestFiles::writeWav(wav, 0.2);
        QtMediaPlayer player;
        player.SetPlayerFile(wav);
        QElapsedTimer clock;
        clock.start();
        while (player.GetPlayerState() == MediaPlayerControl::Playing && clock.elapsed() < 3000)
            QTest::qWait(20);
        return clock.elapsed() >= 150 && clock.elapsed() < 3000;
    }();
    return works;
}

} // namespace AudioOutput
