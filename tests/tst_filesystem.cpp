// The file system changing under a running show, and names and paths of every kind.
#include "runtime/paths.h"
#include "runtime/twips.h"
#include "setup/setupwindow.h"
#include "viewer/imagecontrol.h"
#include "viewer/picturebox.h"
#include "viewer/viewerwindow.h"

#include "support/showfixture.h"
#include "support/testfiles.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <filesystem>
#include <functional>

#include <sys/stat.h>
#include <unistd.h>

using namespace TestFiles;

class FileSystemTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { m_dir = std::make_unique<QTemporaryDir>(); }

    void aPictureChangedBetweenTwoTurns_data();
    void aPictureChangedBetweenTwoTurns();
    void theFolderRemovedOrRenamedDuringAWait_data();
    void theFolderRemovedOrRenamedDuringAWait();
    void namesOfEveryKindAreShownAndPlayed();
    void namesThatAreNoUtf8AreShownAndPlayed_data();
    void namesThatAreNoUtf8AreShownAndPlayed();
    void namesThatReadAlikeAreTwoPictures_data();
    void namesThatReadAlikeAreTwoPictures();
    void veryLongPaths();

private:
    QString path(const QString &name) const { return m_dir->filePath(name); }

    std::unique_ptr<QTemporaryDir> m_dir;
};

void FileSystemTest::aPictureChangedBetweenTwoTurns_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<int>("captions");    // pictures named in the caption
    QTest::addColumn<bool>("message");    // whether the error path's message names B
    QTest::addColumn<QColor>("bShownAs"); // B as shown, when it was

    QTest::newRow("deleted") << "delete" << 1 << false << QColor();
    QTest::newRow("replaced by text") << "text" << 2 << true << QColor();
    QTest::newRow("emptied") << "empty" << 2 << true << QColor();
    QTest::newRow("replaced by another picture") << "picture" << 3 << false << QColor(Qt::yellow);
    QTest::newRow("replaced by a folder") << "folder" << 1 << false << QColor();
    QTest::newRow("replaced by a broken link") << "dangling" << 1 << false << QColor();
    QTest::newRow("replaced by a pipe") << "pipe" << 1 << false << QColor();
    QTest::newRow("replaced by a link to a picture") << "link" << 3 << false << QColor(Qt::magenta);
    QTest::newRow("made unreadable") << "unreadable" << 1 << false << QColor();
}

void FileSystemTest::aPictureChangedBetweenTwoTurns()
{
    QFETCH(QString, change);
    QFETCH(int, captions);
    QFETCH(bool, message);
    QFETCH(QColor, bShownAs);
    writePictures(m_dir->path(), 3);
    const QString b = path(QStringLiteral("P2.JPG"));
    // Permissions stop the show's workers as they stop a user.
    QVERIFY(obeyPermissions(true));
    ShowFixture show;
    QVERIFY(obeyPermissions(false));
    bool changed = false;
    // While P1 is on screen and P2 may already be read ahead for its turn.
    show.clock.at(100, [&] {
        QVERIFY(change == QLatin1String("unreadable") ? QFile::setPermissions(b, {})
                                                      : QFile::remove(b));
        if (change == QLatin1String("text"))
            writeBytes(b, "non più una foto");
        else if (change == QLatin1String("empty"))
            writeBytes(b, QByteArray());
        else if (change == QLatin1String("picture"))
            writePicture(b, 30, 50, Qt::yellow, "PNG");
        else if (change == QLatin1String("folder"))
            QVERIFY(QDir().mkdir(b));
        else if (change == QLatin1String("pipe"))
            QCOMPARE(::mkfifo(QFile::encodeName(b).constData(), 0600), 0);
        else if (change == QLatin1String("dangling"))
            QVERIFY(QFile::link(path(QStringLiteral("nowhere.JPG")), b));
        else if (change == QLatin1String("link")) {
            writePicture(path(QStringLiteral("other.png")), 30, 50, Qt::magenta);
            QVERIFY(QFile::link(path(QStringLiteral("other.png")), b));
        }
        changed = true;
    });
    show.confirmShow(m_dir->path(), QStringLiteral("0.5"));
    QVERIFY(show.waitForShowEnd());
    QVERIFY(changed);

    const QStringList all = {"P1.JPG", "P2.JPG", "P3.JPG"};
    QCOMPARE(show.shownNames(), all.mid(0, captions));
    QCOMPARE(show.services.messages, message ? QStringList{unreadableMessage(b)} : QStringList());
    LARK_M7 *viewer = show.viewer();
    if (bShownAs.isValid()) {
        // The new content was shown, measured as the portrait it now is.
        QVERIFY(near(colourOf(show.imagesAtCaption[2]), bShownAs));
        QCOMPARE(show.imageSizesAtCaption[2].width(), Twips::toPixels(viewer->outerWidth() / 2));
        QVERIFY(near(show.shownColour(), Qt::blue));
    } else {
        // The show ended on P2: P1 stays on screen.
        QVERIFY(near(show.shownColour(), Qt::red));
        QCOMPARE(int(show.state().PictureCount), 1000);
        QCOMPARE(int(show.state().ProbeFailed), 1);
    }
    QCOMPARE(int(show.state().ShowState), 1);
    QVERIFY(viewer->Command2->isVisible());
    QVERIFY(!viewer->Command3->isVisible());
}

void FileSystemTest::theFolderRemovedOrRenamedDuringAWait_data()
{
    QTest::addColumn<bool>("renamed");
    QTest::addColumn<bool>("cyclic");
    QTest::newRow("removed") << false << false;
    QTest::newRow("removed, cyclic") << false << true;
    QTest::newRow("renamed") << true << false;
    QTest::newRow("renamed, cyclic") << true << true;
}

void FileSystemTest::theFolderRemovedOrRenamedDuringAWait()
{
    QFETCH(bool, renamed);
    QFETCH(bool, cyclic);
    const QString folder = path(QStringLiteral("Vacanze 2023"));
    const QString elsewhere = path(QStringLiteral("Vacanze 2023 (copia)"));
    QVERIFY(QDir().mkdir(folder));
    for (const char *name : {"A.JPG", "B.JPG", "C.JPG"})
        writePicture(folder + QLatin1Char('/') + QLatin1String(name), 40, 30, Qt::darkYellow,
                     "JPEG");
    ShowFixture show;
    show.clock.at(100, [&] {
        if (renamed)
            QVERIFY(QDir().rename(folder, elsewhere));
        else
            QVERIFY(QDir(folder).removeRecursively());
    });
    show.confirmShow(folder, QStringLiteral("0.4"), cyclic);
    QVERIFY(show.waitForShowEnd());
    // The next picture is gone with its folder: the show ends quietly, and is not repeated.
    QCOMPARE(show.shownNames(), QStringList{QStringLiteral("A.JPG")});
    QVERIFY(show.services.messages.isEmpty());
    QCOMPARE(int(show.state().ShowState), 1);
    QCOMPARE(show.services.pointers.count(11), 1);
    LARK_M7 *viewer = show.viewer();
    QVERIFY(viewer->Image1->hasPicture());
    QVERIFY(viewer->Command2->isVisible());

    // Back on the setup window, the vanished folder is refused with its message.
    QTest::mouseClick(viewer->Command2, Qt::LeftButton);
    QTRY_VERIFY(show.viewer() == nullptr);
    LARK_M1 &setup = show.setup();
    QCOMPARE(setup.Text1->text(), folder + QLatin1Char('/'));
    QTest::mouseClick(setup.Command2, Qt::LeftButton);
    QCOMPARE(show.services.messages,
             QStringList{QStringLiteral("La cartella indicata non esiste !!!")});
    QCOMPARE(show.services.beeps, 1);
    QVERIFY(show.viewer() == nullptr);
    QCOMPARE(int(show.state().ShowState), 1);

    // The folder typed where it is now, or made again, shows all its pictures.
    show.captions.clear();
    if (renamed) {
        setup.Text1->setText(elsewhere);
    } else {
        QVERIFY(QDir().mkdir(folder));
        for (const char *name : {"A.JPG", "B.JPG", "C.JPG"})
            writePicture(folder + QLatin1Char('/') + QLatin1String(name), 40, 30, Qt::darkYellow,
                         "JPEG");
    }
    setup.Text2->setText(QStringLiteral("0.02"));
    setup.Check1->setChecked(false);
    QTest::mouseClick(setup.Command2, Qt::LeftButton);
    QVERIFY(show.waitForShowEnd());
    QCOMPARE(show.viewer()->windowTitle(), QStringLiteral("IMMAGINE  ") +
                                               (renamed ? elsewhere : folder) +
                                               QStringLiteral("/C.JPG"));
    QCOMPARE(show.services.messages.size(), 1);
}

void FileSystemTest::namesOfEveryKindAreShownAndPlayed()
{
    const QString folder = path(QStringLiteral("Foto.2003 l'estate \"al mare\" è 🌅 -x"));
    QVERIFY(QDir().mkdir(folder));
    const QStringList names = {
        QStringLiteral("-rf.JPG"),
        QStringLiteral("--help.JPG"),
        QStringLiteral("con  spazi doppi .JPG"),
        QStringLiteral(" spazio davanti.JPG"),
        QStringLiteral("virgolette \"doppie\" e 'semplici'.JPG"),
        QStringLiteral("àèìòù ÀÉ ñ ß.JPG"),
        QStringLiteral("emoji 📷🌅.JPG"),
        QStringLiteral("tab\tdentro.JPG"),
        QStringLiteral("$HOME `ls` ; * ?.JPG"),
        QStringLiteral("Mare.2003.06.JPG"),
        QStringLiteral("Mare [*] 2003.JPG"),                // Qt's modified-marker in a title
        QString(125, QChar(0xE8)) + QStringLiteral(".JPG"), // 254 bytes, near the longest
    };
    for (int i = 0; i < names.size(); ++i)
        writePicture(folder + QLatin1Char('/') + names[i], 40 + i, 30, Qt::cyan, "JPEG");
    // Tracks answer to the pictures' names; the lookup ignores the case of the extension.
    const QString emojiTrack = folder + QStringLiteral("/emoji 📷🌅.MP3");
    const QString accentTrack = folder + QStringLiteral("/àèìòù ÀÉ ñ ß.mp3");
    const QString dashTrack = folder + QStringLiteral("/-rf.Mp3");
    for (const QString &track : {emojiTrack, accentTrack, dashTrack})
        writeWav(track, 0.1);

    ShowFixture show;
    show.player.playWhenSet = false; // each picture change finds the player free
    show.confirmShow(folder, QStringLiteral("0"));
    QVERIFY(show.waitForShowEnd());
    QVERIFY2(show.services.messages.isEmpty(), qPrintable(show.services.messages.join(u'|')));
    QStringList captions = show.captions;
    QStringList expected;
    for (const QString &name : names)
        expected << folder + QLatin1Char('/') + name;
    captions.sort();
    expected.sort();
    QCOMPARE(captions, expected);
    QVERIFY(show.viewer()->Image1->hasPicture());
    // Every track was queued under its picture's name, and the ones that came to play were
    // handed over under their own spelling.
    SharedState &state = show.state();
    QCOMPARE(int(state.TrackCount), 3);
    QStringList queued = {state.Playlist(1), state.Playlist(2), state.Playlist(3)};
    queued.sort();
    QStringList byPictureName;
    for (const QString &track : {emojiTrack, accentTrack, dashTrack})
        byPictureName << track.left(track.lastIndexOf(QLatin1Char('.'))) + QStringLiteral(".MP3");
    byPictureName.sort();
    QCOMPARE(queued, byPictureName);
    QStringList played = show.player.filesSet;
    played.removeDuplicates();
    QVERIFY2(played.size() >= 2, qPrintable(played.join(u'|')));
    for (const QString &track : std::as_const(played))
        QVERIFY2(track == emojiTrack || track == accentTrack || track == dashTrack,
                 qPrintable(track));
}

void FileSystemTest::namesThatAreNoUtf8AreShownAndPlayed_data()
{
    QTest::addColumn<QString>("given"); // how the folder reaches the setup window
    QTest::newRow("browsed") << "dialog";
    QTest::newRow("typed") << "field";
    QTest::newRow("on the command line") << "argument";
}

void FileSystemTest::namesThatAreNoUtf8AreShownAndPlayed()
{
    QFETCH(QString, given);
    // In Latin-1 and with a stray byte, as older cameras and systems name files.
    const QByteArray folder = QFile::encodeName(path(QStringLiteral("Foto"))) + "\xe8 \xff";
    QCOMPARE(::mkdir(folder.constData(), 0700), 0);
    const auto cleanup = qScopeGuard([&] { std::filesystem::remove_all(folder.constData()); });
    writePicture(path(QStringLiteral("a")), 60, 40, Qt::red, "JPEG");
    writeWav(path(QStringLiteral("b")), 0.1);
    QCOMPARE(::rename(QFile::encodeName(path(QStringLiteral("a"))), folder + "/Mare\xff.JPG") +
                 ::rename(QFile::encodeName(path(QStringLiteral("b"))), folder + "/mare\xff.mp3"),
             0);
    const QString seen = QFile::decodeName(folder); // as Qt reads it: U+FFFD for each stray byte
    ShowFixture show;
    LARK_M1 &setup = show.setup();
    setup.Text2->setText(QStringLiteral("0"));
    setup.Check1->setChecked(false);
    show.services.dialogAnswers << seen + QStringLiteral("/Mare\uFFFD.JPG");
    if (given == QLatin1String("dialog"))
        QTest::mouseClick(setup.Command1, Qt::LeftButton);
    if (given == QLatin1String("field"))
        setup.Text1->setText(seen);
    if (given == QLatin1String("argument"))
        setup.openPath(Paths::fromFileSystem(folder));
    QTest::mouseClick(setup.Command2, Qt::LeftButton);
    QVERIFY(show.waitForShowEnd());
    QVERIFY2(show.services.messages.isEmpty(), qPrintable(show.services.messages.join(u'|')));
    QCOMPARE(show.viewer()->windowTitle(),
             QStringLiteral("IMMAGINE  ") + seen + QStringLiteral("/Mare\uFFFD.JPG"));
    QVERIFY(near(show.shownColour(), Qt::red));
    QCOMPARE(show.player.filesSet.size(), 1);
    QCOMPARE(Paths::toFileSystem(show.player.filesSet[0]), folder + "/mare\xff.mp3");
    QCOMPARE(setup.Label3->text(), seen + QStringLiteral("/mare\uFFFD.mp3"));
}

void FileSystemTest::namesThatReadAlikeAreTwoPictures_data()
{
    // Two names that Qt reads alike, with U+FFFD for stray bytes.
    QTest::addColumn<QByteArray>("first");
    QTest::addColumn<QByteArray>("second");
    QTest::newRow("two Latin-1 letters") << QByteArray("caf\xe8") << QByteArray("caf\xe9");
    QTest::newRow("a Latin-1 letter and U+FFFD")
        << QByteArray("caf\xe9") << QByteArray("caf\xef\xbf\xbd");
}

void FileSystemTest::namesThatReadAlikeAreTwoPictures()
{
    QFETCH(QByteArray, first);
    QFETCH(QByteArray, second);
    const QByteArray folder = QFile::encodeName(m_dir->path()) + '/';
    const auto cleanup = qScopeGuard([&] { std::filesystem::remove_all(folder.constData()); });
    for (const auto &[name, colour] : {std::pair(first, Qt::red), std::pair(second, Qt::blue)}) {
        TestFiles::writePicture(path(QStringLiteral("p")), 60, 40, colour, "JPEG");
        TestFiles::writeWav(path(QStringLiteral("t")), 0.1);
        QCOMPARE(::rename(folder + "p", folder + name + ".JPG") +
                     ::rename(folder + "t", folder + name + ".MP3"),
                 0);
    }
    ShowFixture show;
    show.player.playWhenSet = false; // each picture change finds the player free
    show.confirmShow(m_dir->path(), QStringLiteral("0"));
    QVERIFY(show.waitForShowEnd());
    QVERIFY(near(show.shownColour(), Qt::blue));
    QCOMPARE(show.player.filesSet.size(), 2);
    QCOMPARE(Paths::toFileSystem(show.player.filesSet[0]), folder + first + ".MP3");
    QCOMPARE(Paths::toFileSystem(show.player.filesSet[1]), folder + second + ".MP3");
}

void FileSystemTest::veryLongPaths()
{
    // Folders nested to a path of 3870 bytes: a picture's path fits the longest path the
    // system opens (4095 bytes), a name of 254 bytes does not.
    QString folder = m_dir->path();
    const QString part = QString(60, QChar(0xF2)) + QStringLiteral(" cartella ") +
                         QString(60, QLatin1Char('x')); // 190 bytes
    const auto bytes = [](const QString &text) { return text.toUtf8().size(); };
    while (bytes(folder) + 1 + bytes(part) <= 3870)
        folder += QLatin1Char('/') + part;
    folder += QLatin1Char('/') + QString(3870 - bytes(folder) - 1, QLatin1Char('y'));
    QCOMPARE(bytes(folder), 3870);
    QVERIFY(QDir().mkpath(folder));
    const QString first = QString(95, QChar(0xE0)) + QStringLiteral(".JPG"); // 194 bytes
    const QString second = QStringLiteral("è.JPG");
    writePicture(folder + QLatin1Char('/') + first, 50, 30, Qt::red, "JPEG");
    writePicture(folder + QLatin1Char('/') + second, 30, 50, Qt::blue, "JPEG");
    const QString tooLong = QString(125, QChar(0xF9)) + QStringLiteral(".JPG"); // last in order
    // Made and removed from inside its folder, where its path is short.
    const auto inFolder = [&folder](const std::function<void()> &action) {
        const QString current = QDir::currentPath();
        QVERIFY(QDir::setCurrent(folder));
        action();
        QVERIFY(QDir::setCurrent(current));
    };
    inFolder([&] { writePicture(tooLong, 20, 20, Qt::green, "JPEG"); });
    const auto cleanup = qScopeGuard([&] { inFolder([&] { QFile::remove(tooLong); }); });
    QVERIFY(bytes(folder + QLatin1Char('/') + tooLong) > 4096);

    ShowFixture show;
    show.confirmShow(folder, QStringLiteral("0"));
    QVERIFY(show.waitForShowEnd());
    QVERIFY(show.services.messages.isEmpty());
    QCOMPARE(show.captions,
             (QStringList{folder + QLatin1Char('/') + first, folder + QLatin1Char('/') + second}));
    QVERIFY(near(show.shownColour(), Qt::blue));
    // The name past the limit is either left out of the listing or fails to open: quietly.
    QCOMPARE(int(show.state().ShowState), 1);
    QVERIFY(show.viewer()->Command2->isVisible());
}

QTEST_MAIN(FileSystemTest)
#include "tst_filesystem.moc"
