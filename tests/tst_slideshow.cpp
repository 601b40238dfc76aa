// The show: the pictures of the folder in order, each after the delay, in its place and upright,
// on the fake clock.
#include "runtime/twips.h"
#include "setup/setupwindow.h"
#include "viewer/imagecontrol.h"
#include "viewer/picturebox.h"
#include "viewer/viewerwindow.h"

#include "support/showfixture.h"
#include "support/testfiles.h"

#include <QBuffer>
#include <QImageWriter>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using namespace TestFiles;

class SlideshowTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { m_dir = std::make_unique<QTemporaryDir>(); }

    void aFolderWithoutPicturesStopsQuietly();
    void picturesFollowInNaturalOrderWithTheDelayBetween();
    void theCyclicOptionRepeatsPassesUntilAStop();
    void aFileThatIsNoPictureStopsTheShowWithItsMessage();
    void theCountersEndOnlyAShowWithoutMusic_data();
    void theCountersEndOnlyAShowWithoutMusic();
    void theImageTakesItsSizeFromThePicturesShape();
    void aHugePictureLoads();
    void everyFormatShowsAsJpgDoesWithItsMusic_data();
    void everyFormatShowsAsJpgDoesWithItsMusic();
    void theWaitIsElapsedTime_data();
    void theWaitIsElapsedTime();
    void aStopRequestEndsALongWaitAtOnce();
    void aDelayTakenDuringTheWaitAppliesToIt();
    void aMinimizedViewerIsRestoredAtTheNextPicture();

private:
    QString path(const QString &name) const { return m_dir->filePath(name); }
    // A show of pictures named by names, coloured as TestFiles::colourOf(i).
    void makePictures(const QStringList &names, QSize size = {40, 30})
    {
        for (int i = 0; i < names.size(); ++i)
            writePicture(path(names[i]), size.width(), size.height(), colourOf(i), "JPEG");
    }
    // The image's place for a landscape or a portrait picture, pixels.
    static QSize place(LARK_M7 *viewer, bool landscape)
    {
        const float w = viewer->outerWidth();
        return {Twips::toPixels(landscape ? w - 500 : w / 2),
                Twips::toPixels(viewer->outerHeight() - 600)};
    }

    std::unique_ptr<QTemporaryDir> m_dir;
};

void SlideshowTest::aFolderWithoutPicturesStopsQuietly()
{
    writePicture(path(QStringLiteral("a.png")), 10, 10);
    ShowFixture show;
    show.confirmShow(m_dir->path(), QStringLiteral("0.05"), /*cyclic*/ true);
    QVERIFY(show.waitForShowEnd());
    QVERIFY(show.captions.isEmpty() && show.services.messages.isEmpty());
    QCOMPARE(show.viewer()->windowTitle(), QStringLiteral("FOTO"));
    QVERIFY(!show.viewer()->Image1->hasPicture());
    QCOMPARE(show.buttons(), QStringLiteral("STAMPA USCITA"));
    QCOMPARE(show.values("ShowState PictureCount"), "ShowState 1 PictureCount 1000");
    QCOMPARE(show.services.pointers, (QList<int>{11, 0})); // one pass, not repeated
}

void SlideshowTest::picturesFollowInNaturalOrderWithTheDelayBetween()
{
    makePictures({"IMG_1.JPG", "IMG_2.JPG", "IMG_10.JPG"});
    ShowFixture show;
    show.confirmShow(m_dir->path(), QStringLiteral("0.3"));
    QVERIFY(show.waitForShowEnd());
    QCOMPARE(show.shownNames(), (QStringList{"IMG_1.JPG", "IMG_2.JPG", "IMG_10.JPG"}));
    QCOMPARE(show.captions.first(), path(QStringLiteral("IMG_1.JPG")));
    QCOMPARE(show.viewer()->windowTitle(), "IMMAGINE  " + path(QStringLiteral("IMG_10.JPG")));
    // Each picture was on screen when the next was named; the last one stays.
    QVERIFY(near(colourOf(show.imagesAtCaption[1]), Qt::red));
    QVERIFY(near(colourOf(show.imagesAtCaption[2]), Qt::green));
    QVERIFY(near(show.shownColour(), Qt::blue) && show.viewer()->Image1->isVisible());
    // The delay stands between two pictures; the last one is not followed by a wait.
    QCOMPARE(show.clockTimes, (QList<qint64>{0, 300, 600}));
    QCOMPARE(show.clock.now, 600);
    QCOMPARE(show.values("ShowState PictureCount BlockCount"),
             "ShowState 1 PictureCount 3 BlockCount 1");
    QCOMPARE(show.state().CurrentName, QString());
    QCOMPARE(show.buttons(), QStringLiteral("STAMPA USCITA"));
    QCOMPARE(show.services.pointers.count(11), 1);
}

void SlideshowTest::theCyclicOptionRepeatsPassesUntilAStop()
{
    makePictures({"A.JPG", "B.JPG"});
    ShowFixture show;
    // A pass shows A, waits, and shows B, the last, with no wait after it.
    show.clock.at(700, [&show] { show.state().ShowState = 1; });
    show.confirmShow(m_dir->path(), QStringLiteral("0.2"), /*cyclic*/ true);
    QVERIFY(show.waitForShowEnd());
    QCOMPARE(show.shownNames(),
             (QStringList{"A.JPG", "B.JPG", "A.JPG", "B.JPG", "A.JPG", "B.JPG", "A.JPG"}));
    QCOMPARE(show.services.pointers.count(11), 4);
    QCOMPARE(int(show.state().ShowState), 1);
}

void SlideshowTest::aFileThatIsNoPictureStopsTheShowWithItsMessage()
{
    makePictures({"A.JPG", "B.JPG", "C.JPG"});
    writeBytes(path(QStringLiteral("B.JPG")), "testo, non un'immagine");
    ShowFixture show;
    show.confirmShow(m_dir->path(), QStringLiteral("0.05"), /*cyclic*/ true);
    QVERIFY(show.waitForShowEnd());
    QCOMPARE(show.services.messages, QStringList{unreadableMessage(path(QStringLiteral("B.JPG")))});
    QCOMPARE(show.shownNames(), (QStringList{"A.JPG", "B.JPG"}));
    QVERIFY(near(show.shownColour(), Qt::red) && show.viewer()->Image1->isVisible());
    const QString differences = show.differencesFromErrorPathEnd();
    QVERIFY2(differences.isEmpty(), qPrintable(differences));
}

void SlideshowTest::theCountersEndOnlyAShowWithoutMusic_data()
{
    QTest::addColumn<bool>("music");
    QTest::addColumn<int>("shown");
    QTest::addColumn<int>("pictureCount");
    // Without music the end of the first block of 500 ends the show, cyclic or not.
    QTest::newRow("without music") << false << 499 << 500;
    // With music 499 pictures fill the first block; the next 100 waits count from 1 again, and
    // the pass ends at the end of the folder.
    QTest::newRow("with music") << true << 600 << 101;
}

void SlideshowTest::theCountersEndOnlyAShowWithoutMusic()
{
    QFETCH(bool, music);
    QFETCH(int, shown);
    QFETCH(int, pictureCount);
    writePictures(m_dir->path(), 600, {4, 4});
    ShowFixture show;
    show.player.musicSwitch = music;
    show.confirmShow(m_dir->path(), QStringLiteral("0"), /*cyclic*/ !music);
    QVERIFY(show.waitForShowEnd(60000));
    QCOMPARE(show.captions.size(), shown);
    QCOMPARE(show.shownNames().last(), QStringLiteral("P%1.JPG").arg(shown));
    QCOMPARE(show.values("ShowState PictureCount BlockCount"),
             QStringLiteral("ShowState 1 PictureCount %1 BlockCount 1").arg(pictureCount));
    QCOMPARE(show.services.pointers.count(11), 1);
    if (!music)
        QCOMPARE(show.player.calls, QStringList{QStringLiteral("switch")});
}

void SlideshowTest::theImageTakesItsSizeFromThePicturesShape()
{
    writePicture(path(QStringLiteral("1.JPG")), 300, 200, Qt::red, "JPEG");
    writePicture(path(QStringLiteral("2.JPG")), 200, 300, Qt::green, "JPEG");
    writePicture(path(QStringLiteral("3.JPG")), 200, 200, Qt::blue, "JPEG");
    ShowFixture show;
    show.confirmShow(m_dir->path(), QStringLiteral("0.02"));
    QVERIFY(show.waitForShowEnd());
    LARK_M7 *viewer = show.viewer();
    QCOMPARE(show.captions.size(), 3);
    // A landscape picture takes the width less a margin, a portrait or square one half of it.
    QCOMPARE(show.imageSizesAtCaption.mid(1),
             (QList<QSize>{place(viewer, true), place(viewer, false)}));
    QCOMPARE(viewer->Image1->size(), place(viewer, false));
    QCOMPARE(viewer->Image1->pos(), QPoint(8, 8));
    // The picture is drawn whole, centred, with its proportions, and held at the size it is
    // shown, not larger.
    const QRect drawn = viewer->Image1->pictureRect();
    QCOMPARE(drawn.width(), drawn.height());
    QCOMPARE(drawn.center().x(), viewer->Image1->rect().center().x());
    QVERIFY(drawn.width() == place(viewer, false).width() ||
            drawn.height() == place(viewer, false).height());
    const QImage landscape = show.imagesAtCaption[1];
    QVERIFY(qAbs(double(landscape.width()) / landscape.height() - 1.5) < 0.02);
    QVERIFY(landscape.width() <= place(viewer, true).width() * viewer->devicePixelRatioF() + 1);
}

void SlideshowTest::aHugePictureLoads()
{
    // 108 megapixels: past what Qt decodes whole by default.
    QImage huge(12000, 9000, QImage::Format_Grayscale8);
    huge.fill(200);
    QVERIFY(huge.save(path(QStringLiteral("huge.JPG")), "JPEG", 50));
    huge = QImage();
    ShowFixture show;
    show.confirmShow(m_dir->path(), QStringLiteral("0"));
    QVERIFY(show.waitForShowEnd(60000));
    QVERIFY2(show.services.messages.isEmpty(), qPrintable(show.services.messages.join(u'|')));
    // Shown, decoded no larger than its place.
    LARK_M7 *viewer = show.viewer();
    QVERIFY(viewer->Image1->hasPicture());
    QVERIFY(viewer->Image1->picture().width() <=
            place(viewer, true).width() * viewer->devicePixelRatioF() + 1);
    QCOMPARE(viewer->Picture1->size(), QSize(12000, 9000));
}

void SlideshowTest::everyFormatShowsAsJpgDoesWithItsMusic_data()
{
    QTest::addColumn<QString>("extension");
    QTest::addColumn<int>("orientation"); // the file's own, numbered as in EXIF
    QTest::addColumn<QSize>("size");      // upright, pixels
    const QSize small(40, 60);
    QTest::newRow("HEIC turned") << "HEIC" << 6 << small;
    QTest::newRow("HEIF turned and mirrored") << "HEIF" << 5 << small;
    QTest::newRow("AVIF turned") << "AVIF" << 8 << small;
    QTest::newRow("WEBP") << "WEBP" << 1 << small;
    QTest::newRow("TIF turned") << "TIF" << 6 << small;
    QTest::newRow("TIFF") << "TIFF" << 1 << small;
    // Read whole before it is scaled: past Qt's default allocation limit, within the program's.
    QTest::newRow("TIF, a colour A4 page scanned at 600 dpi") << "TIF" << 1 << QSize(4960, 7016);
    QTest::newRow("JPEG") << "JPEG" << 1 << small;
    QTest::newRow("JPEG turned, EXIF in Intel order") << "JPEG" << 6 << small;
    QTest::newRow("JPEG turned, EXIF in Motorola order") << "JPEG" << 8 << small;
    QTest::newRow("PNG") << "PNG" << 1 << small;
}

void SlideshowTest::everyFormatShowsAsJpgDoesWithItsMusic()
{
    QFETCH(QString, extension);
    QFETCH(int, orientation);
    QFETCH(QSize, size);
    // Upright: a portrait with red at the top left, green at the top right, blue below. The
    // file stores it so that its orientation brings it back upright.
    QImage upright(size, QImage::Format_RGB32);
    upright.fill(Qt::blue);
    QPainter(&upright).fillRect(0, 0, size.width() / 2, size.height() / 2, Qt::red);
    QPainter(&upright).fillRect(size.width() / 2, 0, size.width() - size.width() / 2,
                                size.height() / 2, Qt::green);
    const QImage stored = orientation == 5   ? upright.transformed(QTransform(0, 1, 1, 0, 0, 0))
                          : orientation == 6 ? upright.transformed(QTransform().rotate(-90))
                          : orientation == 8 ? upright.transformed(QTransform().rotate(90))
                                             : upright;
    QByteArray bytes;
    if (extension.startsWith(QStringLiteral("HEI")) || extension == QStringLiteral("AVIF")) {
        bytes = encodeHeif(stored, orientation, extension == QStringLiteral("AVIF"));
    } else {
        QBuffer buffer(&bytes);
        QVERIFY(buffer.open(QIODevice::WriteOnly));
        QImageWriter writer(&buffer, extension.toLower().toLatin1());
        if (extension.startsWith(QStringLiteral("TIF")) && orientation == 6)
            writer.setTransformation(QImageIOHandler::TransformationRotate90);
        if (extension.startsWith(QStringLiteral("TIF")))
            writer.setCompression(1); // LZW, as scanners save
        QVERIFY2(writer.write(stored), qPrintable(writer.errorString()));
        if (extension == QStringLiteral("JPEG") && orientation != 1) {
            // An EXIF segment after the start marker, as cameras write: a directory with the
            // orientation alone, little-endian for 6, big-endian for 8.
            const bool intel = orientation == 6;
            const auto number = [intel](quint32 value, int bytes) {
                QByteArray out;
                for (int i = 0; i < bytes; ++i)
                    out += char(value >> 8 * (intel ? i : bytes - 1 - i));
                return out;
            };
            const QByteArray tiff = (intel ? "II" : "MM") + number(42, 2) + number(8, 4) +
                                    number(1, 2) + number(0x0112, 2) + number(3, 2) + number(1, 4) +
                                    number(orientation, 2) + number(0, 2) + number(0, 4);
            const QByteArray exif = QByteArray("Exif\0\0", 6) + tiff;
            const int length = int(exif.size()) + 2;
            bytes.insert(2, QByteArray("\xFF\xE1") + char(length >> 8) + char(length) + exif);
        }
    }
    // A good picture with its music, and the same file cut in half.
    const QString good = path("Foto." + extension), broken = path("Rotto." + extension);
    writeBytes(good, bytes);
    writeBytes(broken, bytes.left(bytes.size() / 2));
    writeBytes(path(QStringLiteral("Foto.MP3")), "ID3");

    ShowFixture show;
    show.confirmShow(m_dir->path(), QStringLiteral("0.05"), /*cyclic*/ false, extension);
    QVERIFY(show.waitForShowEnd());
    QCOMPARE(show.captions, (QStringList{good, broken}));
    QCOMPARE(show.player.filesSet, QStringList{path(QStringLiteral("Foto.MP3"))});
    QCOMPARE(show.services.messages, QStringList{unreadableMessage(broken)});
    // Shown upright, in the place of a portrait.
    QCOMPARE(show.imageSizesAtCaption[1], place(show.viewer(), false));
    const QImage shown = show.imagesAtCaption[1];
    const int w = shown.width(), h = shown.height();
    QVERIFY(h > w);
    QVERIFY(near(shown.pixelColor(w / 4, h / 4), Qt::red));
    QVERIFY(near(shown.pixelColor(w * 3 / 4, h / 4), Qt::green));
    QVERIFY(near(shown.pixelColor(w / 4, h * 3 / 4), Qt::blue));
    QVERIFY(near(shown.pixelColor(w * 3 / 4, h * 3 / 4), Qt::blue));
}

void SlideshowTest::theWaitIsElapsedTime_data()
{
    QTest::addColumn<qint64>("start"); // the clock's time at the start, ms
    QTest::addColumn<qint64>("step");  // the clock's step at each turn of the wait, ms
    QTest::addColumn<QString>("delay");
    QTest::addColumn<qint64>("gap"); // between the two pictures, ms
    QTest::addColumn<int>("turns");
    // Started at second 58 of a minute, a delay of 5 ends 5 s later, not at the minute's turn.
    QTest::newRow("across a minute") << 58000LL << 250LL << "5" << 5000LL << 20;
    QTest::newRow("longer than a minute") << 0LL << 1000LL << "61" << 61000LL << 61;
    QTest::newRow("fractions count") << 0LL << 100LL << "2.5" << 2500LL << 25;
    // No delay or a negative one: one turn between two pictures.
    QTest::newRow("none") << 0LL << 100LL << "0" << 0LL << 1;
    QTest::newRow("negative") << 0LL << 100LL << "-3" << 0LL << 1;
}

void SlideshowTest::theWaitIsElapsedTime()
{
    QFETCH(qint64, start);
    QFETCH(qint64, step);
    QFETCH(QString, delay);
    QFETCH(qint64, gap);
    QFETCH(int, turns);
    makePictures({"A.JPG", "B.JPG"});
    ShowFixture show;
    show.clock.now = start;
    show.clock.step = step;
    show.confirmShow(m_dir->path(), delay);
    QVERIFY(show.waitForShowEnd());
    QCOMPARE(show.clockTimes, (QList<qint64>{start, start + gap}));
    QCOMPARE(show.clock.turns, turns);
}

void SlideshowTest::aStopRequestEndsALongWaitAtOnce()
{
    makePictures({"A.JPG", "B.JPG"});
    ShowFixture show;
    show.clock.at(200, [&show] { show.state().ShowState = 1; });
    show.confirmShow(m_dir->path(), QStringLiteral("30"), /*cyclic*/ true);
    QVERIFY(show.waitForShowEnd());
    // The wait ended at its next test.
    QCOMPARE(show.clock.now, 200);
    QCOMPARE(show.shownNames(), QStringList{QStringLiteral("A.JPG")});
    QCOMPARE(show.values("PictureCount"), "PictureCount 1"); // the picture was not counted
    QCOMPARE(show.buttons(), QStringLiteral("STAMPA USCITA"));
}

void SlideshowTest::aDelayTakenDuringTheWaitAppliesToIt()
{
    makePictures({"A.JPG", "B.JPG"});
    ShowFixture show;
    show.clock.at(200, [&] {
        show.setup().Text2->setText(QStringLiteral("0.5"));
        show.services.dialogAnswers << path(QStringLiteral("A.JPG"));
        ShowFixture::click(show.setup().Command1);
    });
    show.confirmShow(m_dir->path(), QStringLiteral("100"));
    // The wait ends half a second in, not after 100 s; the Browse has emptied the show's
    // folder, so the next picture's probe then ends the show quietly.
    QVERIFY(show.waitForShowEnd());
    QCOMPARE(show.clock.now, 500);
    QCOMPARE(show.shownNames(), QStringList{QStringLiteral("A.JPG")});
}

void SlideshowTest::aMinimizedViewerIsRestoredAtTheNextPicture()
{
    makePictures({"A.JPG", "B.JPG"});
    ShowFixture show;
    bool wasMinimized = false;
    show.clock.at(100, [&] {
        show.viewer()->showMinimized();
        wasMinimized = show.viewer()->isMinimized();
    });
    show.confirmShow(m_dir->path(), QStringLiteral("0.4"));
    QVERIFY(show.waitForShowEnd());
    QVERIFY(wasMinimized);
    QCOMPARE(show.captions.size(), 2);
    QVERIFY(!show.viewer()->isMinimized() && !show.viewer()->isMaximized());
}

QTEST_MAIN(SlideshowTest)
#include "tst_slideshow.moc"
