// The real media player, on GStreamer. The tests' surroundings give it no sound device: it plays
// in real time into a fake sink (support/testhome.cpp).
#include "music/qtmediaplayer.h"

#include "support/showfixture.h"
#include "support/testfiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMediaPlayer>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

class MediaPlayerTest : public QObject
{
    Q_OBJECT

private slots:
    void musicSwitchIsOnAtStart();
    void aTrackPlaysToItsEnd_data();
    void aTrackPlaysToItsEnd();
    void stopEndsATrack();
    void aBrokenTrackCountsAsEnded();
    void aFreshPlayerPlaysAShortTrack();

private:
    QString file(const QString &name) const { return m_dir.filePath(name); }
    QTemporaryDir m_dir;
};

void MediaPlayerTest::musicSwitchIsOnAtStart()
{
    QtMediaPlayer player;
    QVERIFY(player.GetMusicSwitch());
    QVERIFY(player.GetPlayerState() != MediaPlayerControl::Playing);
    // The sound stack is loaded with the first track, not at start.
    player.StopPlayer();
    QVERIFY(!player.findChild<QMediaPlayer *>());
}

void MediaPlayerTest::aTrackPlaysToItsEnd_data()
{
    QTest::addColumn<QByteArray>("name"); // as the file system holds it
    QTest::addColumn<QString>("sample");  // a track of the sample album, or a WAV of a second
    QTest::addColumn<int>("length");      // at least, milliseconds
    QTest::newRow("WAV") << QByteArray("tone.WAV") << QString() << 900;
    QTest::newRow("WAV named in no UTF-8") << QByteArray("tono\xe8.WAV") << QString() << 900;
    QTest::newRow("MP3 of the sample album") << QByteArray("Alba.MP3") << "Alba.MP3" << 3000;
}

void MediaPlayerTest::aTrackPlaysToItsEnd()
{
    QFETCH(QByteArray, name);
    QFETCH(QString, sample);
    QFETCH(int, length);
    const QString made = file(QStringLiteral("made"));
    if (sample.isEmpty())
        TestFiles::writeWav(made, 1.0);
    else
        QVERIFY(QFile::copy(QStringLiteral(ALBUM_SOURCE_DIR "/examples/album/") + sample, made));
    const QByteArray path = QFile::encodeName(m_dir.path()) + '/' + name;
    QCOMPARE(::rename(QFile::encodeName(made).constData(), path.constData()), 0);
    const auto cleanup = qScopeGuard([&] { ::unlink(path.constData()); });
    const QString track = QFile::decodeName(path); // as the program holds it
    QtMediaPlayer player;
    QSignalSpy finished(&player, &QtMediaPlayer::trackFinished);
    QElapsedTimer clock;
    clock.start();
    player.SetPlayerFile(track);
    QCOMPARE(player.GetPlayerState(), int(MediaPlayerControl::Playing));
    // It plays in real time: no sooner than its length.
    QVERIFY(finished.wait(30000));
    QVERIFY2(clock.elapsed() >= length, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(player.GetPlayerState() != MediaPlayerControl::Playing);
    QCOMPARE(player.currentFile(), track);
}

void MediaPlayerTest::stopEndsATrack()
{
    TestFiles::writeWav(file(QStringLiteral("long.WAV")), 5.0);
    QtMediaPlayer player;
    player.SetPlayerFile(file(QStringLiteral("long.WAV")));
    auto *playing = player.findChild<QMediaPlayer *>();
    QVERIFY(ShowFixture::waitUntil([&] { return playing->position() > 0; }));
    QCOMPARE(player.GetPlayerState(), int(MediaPlayerControl::Playing));
    player.StopPlayer();
    QVERIFY(player.GetPlayerState() != MediaPlayerControl::Playing);
    // Once GStreamer has stopped too, nothing starts it again.
    QTRY_COMPARE(playing->playbackState(), QMediaPlayer::StoppedState);
    QCoreApplication::processEvents();
    QVERIFY(player.GetPlayerState() != MediaPlayerControl::Playing);
}

void MediaPlayerTest::aBrokenTrackCountsAsEnded()
{
    TestFiles::writeBytes(file(QStringLiteral("broken.MP3")), QByteArray(4000, 'x'));
    QtMediaPlayer player;
    player.SetPlayerFile(file(QStringLiteral("broken.MP3")));
    QTRY_VERIFY(player.GetPlayerState() != MediaPlayerControl::Playing);

    // The next track still plays, and setting it does not block (a player that met a broken
    // track would wait for about a second).
    TestFiles::writeWav(file(QStringLiteral("next.WAV")), 0.5);
    QElapsedTimer clock;
    clock.start();
    player.StopPlayer();
    player.SetPlayerFile(file(QStringLiteral("next.WAV")));
    QVERIFY2(clock.elapsed() < 700, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(player.GetPlayerState(), int(MediaPlayerControl::Playing));
    QTRY_VERIFY(player.GetPlayerState() != MediaPlayerControl::Playing);
}

void MediaPlayerTest::aFreshPlayerPlaysAShortTrack()
{
    // 0.31 s of MPEG-2 Layer III, 22.05 kHz mono, 32 kbit/s: 12 frames of a header and zeros
    // (silence). Fresh players now and then ended such a track at once, unplayed.
    const QString mp3 = file(QStringLiteral("short.MP3"));
    TestFiles::writeBytes(mp3, QByteArray::fromHex("fff340c0").append(100, '\0').repeated(12));
    for (int start = 0; start < 100; ++start) {
        QtMediaPlayer player;
        QSignalSpy finished(&player, &QtMediaPlayer::trackFinished);
        QElapsedTimer clock;
        clock.start();
        player.SetPlayerFile(mp3);
        auto *playing = player.findChild<QMediaPlayer *>();
        QSignalSpy status(playing, &QMediaPlayer::mediaStatusChanged);
        // Until it plays, or ends.
        QVERIFY(QTest::qWaitFor([&] { return playing->position() > 0 || !finished.isEmpty(); }));
        QVERIFY2(finished.isEmpty() && player.GetPlayerState() == MediaPlayerControl::Playing,
                 qPrintable(QString::number(start)));
        // Where Qt did report an end at once, the track still plays for its length.
        if (status.contains({QVariant::fromValue(QMediaPlayer::EndOfMedia)})) {
            QVERIFY(finished.wait(5000));
            QVERIFY(clock.elapsed() >= 250);
        }
        player.StopPlayer();
    }
}

QTEST_MAIN(MediaPlayerTest)
#include "tst_mediaplayer.moc"
