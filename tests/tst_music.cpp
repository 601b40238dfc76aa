#include "app/albumapplication.h"
#include "music/backgroundmusic.h"
#include "music/qtmediaplayer.h"
#include "runtime/runtimeerror.h"
#include "setup/setupwindow.h"
#include "viewer/viewerwindow.h"

#include "support/showfixture.h"
#include "support/testfiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <functional>
#include <memory>

using BackgroundMusic::cutExtension;

namespace {

// Tells whether the event queue has been served since it was made: it posts a call to itself,
// and a call still waiting is dropped with it. during runs inside that yield.
class YieldProbe : public QObject
{
public:
    explicit YieldProbe(std::function<void()> during = {})
    {
        QMetaObject::invokeMethod(
            this,
            [this, during] {
                m_served = true;
                if (during)
                    during();
            },
            Qt::QueuedConnection);
    }
    bool served() const { return m_served; }

private:
    bool m_served = false;
};

} // namespace

class MusicTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup() { m_show.reset(); }

    // The path cuts
    void cutsWorkOnTheFileNameOnly_data();
    void cutsWorkOnTheFileNameOnly();

    // The music step, through the viewer
    void switchedOffMusicDoesNothing();
    void tracksStartAtPictureChangesWhenThePlayerIsFree();
    void aPlayingTrackIsNeverInterrupted();
    void playlistIsARingOf200Entries();
    void theEntryAfterTheLastQueuedStartsNothing();
    void soundNamesFollowThePictureName_data();
    void soundNamesFollowThePictureName();
    void aVanishedMp3FallsBackToItsWav();
    void aFailingStateReadReachesTheCaller();

    // PlayTrack on its own
    void playTrackHandlesPlayerFailuresByMode_data();
    void playTrackHandlesPlayerFailuresByMode();

    // The real player
    void realPlayerStartsTheNextTrackOnlyAtAPictureChange();
    void brokenTracksOnTheRealPlayerCountAsEnded();

private:
    QString root() const { return m_dir->path() + QLatin1Char('/'); }
    QString path(const QString &relative) const { return root() + relative; }
    // Makes the files, and folders for names ending in '/', under the temporary folder.
    void make(const QStringList &relatives);
    // The picture loop's music step for a picture of the chosen folder.
    void showPicture(const QString &name);
    QLabel *label() { return m_show->setup().Label3; }
    QString label3() { return label()->text(); }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<ShowFixture> m_show;
    FakeMediaPlayer *m_player = nullptr;
    SharedState *m_state = nullptr;
    LARK_M7 *m_viewer = nullptr;
};

void MusicTest::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_show = std::make_unique<ShowFixture>();
    m_player = &m_show->player;
    m_state = &m_show->state();
    m_viewer = &m_show->app->viewer();
    // As a confirmation leaves it: the folder browsed, music on.
    m_state->ImageFolder = root();
    m_state->MusicEnabled = 1;
    label()->setText(QStringLiteral("nessun brano"));
}

void MusicTest::make(const QStringList &relatives)
{
    for (const QString &relative : relatives) {
        QVERIFY(QDir().mkpath(QFileInfo(path(relative)).path()));
        if (relative.endsWith(QLatin1Char('/')))
            QVERIFY(QDir().mkpath(path(relative)));
        else if (relative.endsWith(QLatin1String(".JPG"), Qt::CaseInsensitive))
            TestFiles::writePicture(path(relative), 8, 6, Qt::blue, "JPG");
        else if (relative.endsWith(QLatin1String(".WAV"), Qt::CaseInsensitive))
            TestFiles::writeWav(path(relative), 0.1);
        else
            TestFiles::writeBytes(path(relative), QByteArray(64, '\xff'));
    }
}

void MusicTest::showPicture(const QString &name)
{
    m_state->CurrentName = name;
    m_viewer->RunMusicStep();
}

void MusicTest::cutsWorkOnTheFileNameOnly_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("cut");
    auto row = [](const char *name, const char *path, const char *cut) {
        QTest::newRow(name) << QString::fromUtf8(path) << QString::fromUtf8(cut);
    };
    row("three letters", "/foto/A.MP3", "/foto/A");
    row("four letters", "/foto/Alba.JPEG", "/foto/Alba");
    row("dot in the name", "/foto/Mare.2003.MP3", "/foto/Mare.2003");
    row("dot in the folder", "/Foto.2003/Mare.MP3", "/Foto.2003/Mare");
    row("dot in the folder, none in the name", "/Foto.2003/Mare", "/Foto.2003/Mare");
    row("no dot", "/foto/Notte", "/foto/Notte");
    row("bare name", "Mare.2003.JPG", "Mare.2003");
    row("trailing dot", "/foto/Lago.", "/foto/Lago");
    row("name that is an extension", "/foto/.MP3", "/foto/");
    row("empty", "", "");
}

void MusicTest::cutsWorkOnTheFileNameOnly()
{
    QFETCH(QString, path);
    QFETCH(QString, cut);
    QCOMPARE(cutExtension(path), cut);
}

void MusicTest::switchedOffMusicDoesNothing()
{
    make({"A.JPG", "A.MP3", "C.JPG", "C.MP3"});
    m_state->MusicEnabled = 0;
    m_state->ProbeFailed = 7; // a probe would overwrite it
    const YieldProbe yield;
    showPicture(QStringLiteral("A.JPG"));
    showPicture(QStringLiteral("C.JPG"));
    QVERIFY(!yield.served());
    QCOMPARE(m_show->values("ProbeFailed TrackCount TrackPos"),
             "ProbeFailed 7 TrackCount 0 TrackPos 0");
    QCOMPARE(m_state->Playlist(1), QString());
    QCOMPARE(m_state->CurrentTrack, QString());
    QCOMPARE(m_player->calls, QStringList());
    QCOMPARE(label3(), QStringLiteral("nessun brano"));
}

void MusicTest::tracksStartAtPictureChangesWhenThePlayerIsFree()
{
    make({"A.JPG", "B.JPG", "C.JPG", "A.MP3", "C.MP3"});
    const QString a = path(QStringLiteral("A.MP3"));
    const QString c = path(QStringLiteral("C.MP3"));

    // A: queued as entry 1 and started at once; every write is done before the closing yield.
    int posInYield = -1;
    QString labelInYield;
    const YieldProbe yieldOfA([&] {
        posInYield = m_state->TrackPos;
        labelInYield = label3();
    });
    showPicture(QStringLiteral("A.JPG"));
    QCOMPARE(m_player->calls, (QStringList{"state", "state", "stop", "set " + a}));
    QCOMPARE(m_show->values("TrackCount TrackPos ProbeFailed"),
             "TrackCount 1 TrackPos 1 ProbeFailed 0");
    QVERIFY(m_state->Playlist(1) == a && m_state->CurrentTrack == a && label3() == a);
    QVERIFY(yieldOfA.served() && posInYield == 1 && labelInYield == a);

    // B: no MP3, nothing queued; A plays on.
    m_player->calls.clear();
    const YieldProbe yieldOfB;
    showPicture(QStringLiteral("B.JPG"));
    QCOMPARE(m_show->values("ProbeFailed TrackCount"), "ProbeFailed 1 TrackCount 1");
    QCOMPARE(m_state->Playlist(2), QString());
    QCOMPARE(m_player->calls, QStringList{"state"});
    QVERIFY(!yieldOfB.served());

    // C: queued as entry 2 while A plays; it waits.
    showPicture(QStringLiteral("C.JPG"));
    QCOMPARE(m_show->values("TrackCount TrackPos"), "TrackCount 2 TrackPos 1");
    QCOMPARE(m_state->Playlist(2), c);
    QCOMPARE(m_player->filesSet, QStringList{a});
    QCOMPARE(label3(), a);

    // A ends between two pictures: nothing starts until the next picture change.
    m_player->state = 0;
    QCoreApplication::processEvents();
    QCOMPARE(m_player->filesSet, QStringList{a});
    m_player->calls.clear();
    showPicture(QStringLiteral("B.JPG"));
    QCOMPARE(m_player->calls, (QStringList{"state", "state", "stop", "set " + c}));
    QCOMPARE(m_show->values("TrackCount TrackPos"), "TrackCount 2 TrackPos 2");
    QVERIFY(m_state->CurrentTrack == c && label3() == c);
}

void MusicTest::aPlayingTrackIsNeverInterrupted()
{
    make({"A.MP3", "C.MP3", "D.WAV"});
    m_player->state = MediaPlayerControl::Playing;
    const QStringList pictures{"A.JPG", "B.JPG", "C.JPG", "A.JPG", "C.JPG"};
    for (const QString &picture : pictures)
        showPicture(picture);
    QCOMPARE(m_show->values("TrackCount TrackPos"), "TrackCount 4 TrackPos 0");
    QCOMPARE(m_player->calls, QStringList(pictures.size(), QStringLiteral("state")));
    QCOMPARE(label3(), QStringLiteral("nessun brano"));

    // Nor by PlayTrack itself, with an MP3 or with the WAV fallback.
    for (const QString &sound : {QStringLiteral("A.MP3"), QStringLiteral("D.MP3")}) {
        m_player->calls.clear();
        QString TrackFile = path(sound);
        Int16 PlayResult = 7;
        GL_LARK::PlayTrack(*m_player, label(), TrackFile, PlayResult);
        QCOMPARE(m_player->calls, QStringList{"state"});
        QCOMPARE(int(PlayResult), 0);
    }
    QCOMPARE(m_player->filesSet, QStringList());
    QCOMPARE(label3(), QStringLiteral("nessun brano"));

    // Free again: the first queued entry is the next to play.
    m_player->state = 0;
    showPicture(QStringLiteral("B.JPG"));
    QCOMPARE(m_player->filesSet, QStringList{path("A.MP3")});
    QCOMPARE(int(m_state->TrackPos), 1);
}

void MusicTest::playlistIsARingOf200Entries()
{
    QStringList sounds;
    for (int i = 1; i <= 201; ++i)
        sounds << QStringLiteral("P%1.MP3").arg(i, 3, 10, QLatin1Char('0'));
    make(sounds);
    auto picture = [](int i) { return QStringLiteral("P%1.JPG").arg(i, 3, 10, QLatin1Char('0')); };
    auto sound = [this, &sounds](int i) { return path(sounds[i - 1]); };

    // Entries 1 and 2 start at once, the rest are queued while entry 2 plays.
    showPicture(picture(1));
    m_player->state = 0;
    for (int i = 2; i <= 200; ++i)
        showPicture(picture(i));
    QCOMPARE(m_show->values("TrackCount TrackPos"), "TrackCount 200 TrackPos 2");
    QCOMPARE(m_state->Playlist(200), sound(200));

    // The 201st path overwrites entry 1; the entries above keep their older paths.
    showPicture(picture(201));
    QCOMPARE(m_show->values("TrackCount TrackPos"), "TrackCount 1 TrackPos 2");
    QCOMPARE((QStringList{m_state->Playlist(1), m_state->Playlist(2), m_state->Playlist(200)}),
             (QStringList{sound(201), sound(2), sound(200)}));

    // At the next free moment the position restarts at 1: the newest entry plays.
    m_player->state = 0;
    showPicture(QStringLiteral("X.JPG"));
    QCOMPARE(int(m_state->TrackPos), 1);
    QCOMPARE(m_player->filesSet.last(), sound(201));
    QCOMPARE(label3(), sound(201));
    // Then it moves on past TrackCount into the older entries.
    m_player->state = 0;
    showPicture(QStringLiteral("X.JPG"));
    QCOMPARE(int(m_state->TrackPos), 2);
    QCOMPARE(m_player->filesSet.last(), sound(2));

    // A fresh show with a player always free: every entry starts as it is queued. After
    // entry 200 the position goes round to 1 (never to a 201st entry), and the 201st path
    // overwrites entry 1 while entry 2 is the next to play.
    m_state->Playlist.erase();
    m_state->TrackCount = 0;
    m_state->TrackPos = 0;
    m_player->playWhenSet = false;
    m_player->state = 0;
    m_player->filesSet.clear();
    for (int i = 1; i <= 200; ++i)
        showPicture(picture(i));
    QCOMPARE(m_show->values("TrackPos"), "TrackPos 200");
    QCOMPARE(m_player->filesSet.size(), 200);
    QCOMPARE(m_player->filesSet.last(), sound(200));
    showPicture(QStringLiteral("X.JPG"));
    QCOMPARE(m_show->values("TrackCount TrackPos"), "TrackCount 200 TrackPos 1");
    QCOMPARE(m_player->filesSet.last(), sound(1));
    showPicture(picture(201));
    QCOMPARE(m_show->values("TrackCount TrackPos"), "TrackCount 1 TrackPos 2");
    QCOMPARE(m_player->filesSet.last(), sound(2));
}

void MusicTest::theEntryAfterTheLastQueuedStartsNothing()
{
    make({"A.MP3", "C.MP3"});
    showPicture(QStringLiteral("A.JPG"));
    showPicture(QStringLiteral("C.JPG"));
    m_player->state = 0;
    showPicture(QStringLiteral("B.JPG"));
    QCOMPARE(int(m_state->TrackPos), 2);
    QCOMPARE(m_player->filesSet, (QStringList{path("A.MP3"), path("C.MP3")}));
    QCOMPARE(label3(), path("C.MP3"));

    // TrackPos equals TrackCount: it moves on to the empty entry 3, which starts nothing and
    // looks for nothing.
    m_player->state = 0;
    m_player->calls.clear();
    const YieldProbe yield;
    showPicture(QStringLiteral("B.JPG"));
    QCOMPARE(m_show->values("TrackPos ProbeFailed"), "TrackPos 3 ProbeFailed 1");
    QCOMPARE(m_state->CurrentTrack, QString());
    QCOMPARE(m_player->calls, QStringList{"state"});
    QCOMPARE(label3(), path("C.MP3"));
    QVERIFY(!yield.served());

    // At the next free moment it restarts at entry 1.
    showPicture(QStringLiteral("B.JPG"));
    QCOMPARE(int(m_state->TrackPos), 1);
    QCOMPARE(m_player->filesSet.last(), path("A.MP3"));
    QCOMPARE(label3(), path("A.MP3"));
}

void MusicTest::soundNamesFollowThePictureName_data()
{
    // Paths are relative to the temporary folder; an empty entry means nothing is queued.
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QString>("picture");
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("played");
    auto row = [](const char *name, const char *folder, const QStringList &files,
                  const char *picture, const char *entry, const char *played) {
        QTest::newRow(name) << QString::fromUtf8(folder) << files << QString::fromUtf8(picture)
                            << QString::fromUtf8(entry) << QString::fromUtf8(played);
    };
    row("dot in the name", "", {"Mare.2003.MP3", "Mare.MP3"}, "Mare.2003.JPG", "Mare.2003.MP3",
        "Mare.2003.MP3");
    row("dot in the folder", "Foto.2003/", {"Foto.2003/Mare.MP3", "Foto.MP3"}, "Mare.JPG",
        "Foto.2003/Mare.MP3", "Foto.2003/Mare.MP3");
    row("lower-case picture, upper-case sound", "", {"A.MP3"}, "a.jpg", "a.MP3", "A.MP3");
    row("upper-case picture, lower-case sound", "", {"b.mp3"}, "B.JPG", "B.MP3", "b.mp3");
    row("JPEG picture", "", {"Alba.MP3", "Alba.J.MP3"}, "Alba.JPEG", "Alba.MP3", "Alba.MP3");
    row("picture without extension", "", {"Notte.MP3"}, "Notte", "Notte.MP3", "Notte.MP3");
    row("exact spelling first", "", {"mare.mp3", "Mare.MP3", "MARE.MP3"}, "Mare.JPG", "Mare.MP3",
        "Mare.MP3");
    row("folder and file named alike", "", {"D.MP3/", "d.mp3"}, "D.JPG", "D.MP3", "d.mp3");
    row("folder named like the sound", "", {"Lago.MP3/"}, "Lago.JPG", "", "");
    row("a WAV alone is not queued", "", {"Faro.WAV"}, "Faro.JPG", "", "");
}

void MusicTest::soundNamesFollowThePictureName()
{
    QFETCH(QString, folder);
    QFETCH(QStringList, files);
    QFETCH(QString, picture);
    QFETCH(QString, entry);
    QFETCH(QString, played);
    make(files);
    m_state->ImageFolder = path(folder);
    showPicture(picture);
    if (entry.isEmpty()) {
        QCOMPARE(m_show->values("ProbeFailed TrackCount"), "ProbeFailed 1 TrackCount 0");
        QCOMPARE(m_player->calls, QStringList());
        QCOMPARE(label3(), QStringLiteral("nessun brano"));
        return;
    }
    QCOMPARE(m_show->values("TrackCount"), "TrackCount 1");
    QCOMPARE(m_state->Playlist(1), path(entry));
    QCOMPARE(m_player->filesSet, QStringList{path(played)});
    QVERIFY(m_state->CurrentTrack == path(played) && label3() == path(played));
}

void MusicTest::aVanishedMp3FallsBackToItsWav()
{
    make({"A.MP3", "C.MP3"});
    m_player->state = MediaPlayerControl::Playing;
    showPicture(QStringLiteral("A.JPG"));
    showPicture(QStringLiteral("C.JPG"));
    QCOMPARE(int(m_state->TrackCount), 2);

    // A's MP3 has gone, a WAV of its name is there.
    QVERIFY(QFile::remove(path("A.MP3")));
    make({"a.wav"});
    m_player->state = 0;
    m_player->calls.clear();
    showPicture(QStringLiteral("B.JPG"));
    QCOMPARE(m_player->calls, (QStringList{"state", "state", "stop", "set " + path("a.wav")}));
    QVERIFY(m_state->CurrentTrack == path("a.wav") && label3() == path("a.wav"));
    QCOMPARE(m_show->values("ProbeFailed"), "ProbeFailed 0");

    // C's MP3 has gone and it has no WAV: nothing starts, the label keeps the last track.
    QVERIFY(QFile::remove(path("C.MP3")));
    m_player->state = 0;
    m_player->calls.clear();
    const YieldProbe yield;
    showPicture(QStringLiteral("B.JPG"));
    QCOMPARE(m_show->values("TrackPos ProbeFailed"), "TrackPos 2 ProbeFailed 1");
    QCOMPARE(m_player->calls, QStringList{"state"});
    QVERIFY(m_state->CurrentTrack == path("C.WAV") && label3() == path("a.wav"));
    QVERIFY(!yield.served());
}

void MusicTest::aFailingStateReadReachesTheCaller()
{
    make({"A.MP3"});
    m_player->stateError = 31000;

    // Nothing queued yet: the state is not read.
    showPicture(QStringLiteral("B.JPG"));
    QCOMPARE(m_player->calls, QStringList());

    int number = 0;
    try {
        showPicture(QStringLiteral("A.JPG"));
    } catch (const RuntimeError &error) {
        number = error.number();
    }
    QCOMPARE(number, 31000);
    // The entry was queued before the read; nothing was started.
    QCOMPARE(m_show->values("TrackCount TrackPos"), "TrackCount 1 TrackPos 0");
    QCOMPARE(m_state->Playlist(1), path("A.MP3"));
    QCOMPARE(m_player->calls, QStringList{"state"});
    QCOMPARE(label3(), QStringLiteral("nessun brano"));
}

void MusicTest::playTrackHandlesPlayerFailuresByMode_data()
{
    // Sound paths are relative to the temporary folder; "set" stands for setting the settled path.
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QString>("track");
    QTest::addColumn<int>("playerState");
    QTest::addColumn<QString>("failing");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<QString>("settled");
    QTest::addColumn<int>("result");
    QTest::addColumn<bool>("shown");
    QTest::addColumn<bool>("yielded");

    const QStringList mp3{"T.MP3", "T.WAV"};
    const QStringList wav{"t.wav"};
    const QStringList started{"state", "stop", "set"};
    QTest::newRow("MP3") << mp3 << "T.MP3" << 0 << "" << started << "T.MP3" << 0 << true << true;
    QTest::newRow("MP3, state fails")
        << mp3 << "T.MP3" << 0 << "state" << QStringList{"state"} << "T.MP3" << 0 << false << false;
    QTest::newRow("MP3, stop fails")
        << mp3 << "T.MP3" << 0 << "stop" << started << "T.MP3" << 0 << true << true;
    QTest::newRow("MP3, set fails")
        << mp3 << "T.MP3" << 0 << "set" << started << "T.MP3" << 0 << false << true;
    QTest::newRow("MP3, playing") << mp3 << "T.MP3" << 2 << "" << QStringList{"state"} << "T.MP3"
                                  << 0 << false << false;
    QTest::newRow("WAV") << wav << "T.MP3" << 0 << "" << started << "t.wav" << 0 << true << true;
    QTest::newRow("WAV, state fails")
        << wav << "T.MP3" << 0 << "state" << QStringList{"state"} << "t.wav" << 1 << false << false;
    QTest::newRow("WAV, stop fails")
        << wav << "T.MP3" << 0 << "stop" << QStringList{"state", "stop"} << "t.wav" << 1 << false
        << false;
    QTest::newRow("WAV, set fails")
        << wav << "T.MP3" << 0 << "set" << started << "t.wav" << 1 << false << false;
    QTest::newRow("WAV, playing") << wav << "T.MP3" << 2 << "" << QStringList{"state"} << "t.wav"
                                  << 0 << false << false;
    QTest::newRow("neither") << QStringList{"T.MP3/"} << "T.MP3" << 0 << "" << QStringList{}
                             << "T.WAV" << 1 << false << false;
    QTest::newRow("empty entry") << mp3 << "" << 0 << "" << QStringList{} << "" << 1 << false
                                 << false;
}

void MusicTest::playTrackHandlesPlayerFailuresByMode()
{
    QFETCH(QStringList, files);
    QFETCH(QString, track);
    QFETCH(int, playerState);
    QFETCH(QString, failing);
    QFETCH(QStringList, calls);
    QFETCH(QString, settled);
    QFETCH(int, result);
    QFETCH(bool, shown);
    QFETCH(bool, yielded);
    make(files);
    m_player->state = playerState;
    if (failing == QLatin1String("state"))
        m_player->stateError = 1001;
    else if (failing == QLatin1String("stop"))
        m_player->stopError = 1002;
    else if (failing == QLatin1String("set"))
        m_player->setError = 1003;

    const QString expected = track.isEmpty() ? QString() : path(settled);
    QString TrackFile = track.isEmpty() ? QString() : path(track);
    Int16 PlayResult = 7;
    const YieldProbe yield;
    GL_LARK::PlayTrack(*m_player, label(), TrackFile, PlayResult);
    QCOMPARE(TrackFile, expected);
    QCOMPARE(int(PlayResult), result);
    for (QString &call : calls) {
        if (call == QLatin1String("set"))
            call += QLatin1Char(' ') + expected;
    }
    QCOMPARE(m_player->calls, calls);
    QCOMPARE(label3(), shown ? expected : QStringLiteral("nessun brano"));
    QCOMPARE(yield.served(), yielded);
}

void MusicTest::realPlayerStartsTheNextTrackOnlyAtAPictureChange()
{
    // Tracks of half a second (WAVs under the names of MP3s: the player reads what it gets).
    TestFiles::writeWav(path("A.MP3"), 0.5);
    TestFiles::writeWav(path("B.MP3"), 0.5);
    auto *player = new QtMediaPlayer; // the setup window takes it over
    m_show = std::make_unique<ShowFixture>(player);
    m_viewer = &m_show->app->viewer();
    m_state = &m_show->state();
    m_state->ImageFolder = root();
    m_state->MusicEnabled = 1;

    showPicture(QStringLiteral("A.JPG"));
    QCOMPARE(player->currentFile(), path("A.MP3"));
    QCOMPARE(player->GetPlayerState(), int(MediaPlayerControl::Playing));
    QCOMPARE(label3(), path("A.MP3"));
    QSignalSpy finished(player, &QtMediaPlayer::trackFinished);

    // B is queued while A plays, and A goes on playing to its end.
    showPicture(QStringLiteral("B.JPG"));
    QCOMPARE(int(m_state->TrackCount), 2);
    QCOMPARE(player->GetPlayerState(), int(MediaPlayerControl::Playing));
    QVERIFY(finished.wait(20000));
    QCOMPARE(player->currentFile(), path("A.MP3"));

    // B does not start by itself: the next picture change starts it.
    QCoreApplication::processEvents();
    QVERIFY(player->GetPlayerState() != MediaPlayerControl::Playing);
    QCOMPARE(player->currentFile(), path("A.MP3"));
    QCOMPARE(label3(), path("A.MP3"));
    showPicture(QStringLiteral("C.JPG"));
    QCOMPARE(int(m_state->TrackPos), 2);
    QCOMPARE(player->currentFile(), path("B.MP3"));
    QCOMPARE(player->GetPlayerState(), int(MediaPlayerControl::Playing));
    QCOMPARE(label3(), path("B.MP3"));
    player->StopPlayer();
}

void MusicTest::brokenTracksOnTheRealPlayerCountAsEnded()
{
    TestFiles::writePictures(m_dir->path(), 20, {32, 24});
    QFile sample(QStringLiteral(ALBUM_SOURCE_DIR "/examples/album/Bosco.MP3"));
    QVERIFY(sample.open(QIODevice::ReadOnly));
    const QByteArray mp3 = sample.readAll();
    QByteArray noise(20000, '\0');
    for (int i = 0; i < noise.size(); ++i)
        noise[i] = char(i * 7919 % 251);
    // Frame headers that promise audio, followed by noise.
    QByteArray fakeFrames;
    for (int i = 0; i < 40; ++i)
        fakeFrames.append("\xFF\xFB\x90\x64", 4).append(noise.mid(i * 400, 413));
    // A WAV whose header claims far more sound than the file holds.
    TestFiles::writeWav(path("P4.MP3"), 0.3);
    QFile lying(path("P4.MP3"));
    QVERIFY(lying.open(QIODevice::ReadWrite));
    QByteArray wav = lying.readAll();
    qToLittleEndian<quint32>(0x7FFFFFF0u, wav.data() + 4);
    qToLittleEndian<quint32>(0x7FFFFFC0u, wav.data() + 40);
    lying.close();
    TestFiles::writeBytes(path("P4.MP3"), wav);
    TestFiles::writeBytes(path("P1.MP3"),
                          QByteArray("ID3\x03\x00\x00\x00\x00\x00\x10", 10) + noise);
    TestFiles::writeBytes(path("P2.MP3"), mp3.left(mp3.size() / 20));
    make({"P3.MP3/"}); // a folder, never queued
    TestFiles::writeBytes(path("P5.MP3"), QByteArray());
    TestFiles::writeBytes(path("P6.MP3"), fakeFrames);
    QVERIFY(sample.copy(path("P8.MP3")));
    const QString good = path("P8.MP3");

    auto *player = new QtMediaPlayer; // the setup window takes it over
    m_show = std::make_unique<ShowFixture>(player);
    ShowFixture &show = *m_show;
    int goodStartedAt = -1;
    // Each turn of the wait waits for a broken track to count as ended, or for good.
    show.clock.everyTurn = [&] {
        QVERIFY(QTest::qWaitFor([&] {
            return player->GetPlayerState() != MediaPlayerControl::Playing ||
                   player->currentFile() == good;
        }));
        if (goodStartedAt < 0 && player->currentFile() == good)
            goodStartedAt = int(show.captions.size());
    };
    show.confirmShow(m_dir->path(), QStringLiteral("0.3"));
    QVERIFY(show.state().MusicEnabled == 1);
    QVERIFY(show.waitForShowEnd());

    // The show went through every picture, with no message.
    QCOMPARE(show.captions.size(), 20);
    QVERIFY2(show.services.messages.isEmpty(), qPrintable(show.services.messages.join(u'|')));
    // Six tracks were queued, the folder named like one was not.
    QCOMPARE(int(show.state().TrackCount), 6);
    for (int i = 1; i <= 6; ++i)
        QVERIFY(!show.state().Playlist(i).contains(QLatin1String("P3.")));
    // The broken ones each counted as ended, and the good one started at a picture change
    // after its own picture.
    QVERIFY2(goodStartedAt >= 8, qPrintable(QString::number(goodStartedAt)));
    QCOMPARE(player->GetPlayerState(), int(MediaPlayerControl::Playing));
    player->StopPlayer();
}

QTEST_MAIN(MusicTest)
#include "tst_music.moc"
