#include "runtime/twips.h"
#include "setup/setupwindow.h"
#include "viewer/imagecontrol.h"
#include "viewer/picturebox.h"
#include "viewer/viewerwindow.h"

#include "support/showfixture.h"
#include "support/testfiles.h"

#include <QBuffer>
#include <QCheckBox>
#include <QFile>
#include <QImageWriter>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

class SlideshowTest : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void aFolderWithoutPicturesStopsQuietly();
    void picturesFollowInNaturalOrderWithTheDelayBetween();
    void theCyclicOptionRepeatsPassesUntilAStop();
    void aFileThatIsNoPictureStopsTheShowWithItsMessage();
    void aPictureRemovedDuringTheWaitEndsTheShowQuietly();
    void theCountersEndAShowWithoutMusicAfter499Pictures();
    void withMusicTheCountersNeverEndTheShow();
    void theImageTakesItsSizeFromThePicturesShape();
    void turnedAndHugePicturesLoad();
    void everyFormatShowsAsJpgDoesWithItsMusic_data();
    void everyFormatShowsAsJpgDoesWithItsMusic();
    void theWaitIsRealElapsedTime();
    void aStopRequestEndsALongWaitAtOnce();
    void aDelayTakenDuringTheWaitAppliesToIt();
    void aConfirmationDuringACyclicShowDoesNotHang();
    void aMinimizedViewerIsRestoredAtTheNextPicture();

private:
    QString makeFolder(const QList<QPair<QString, QColor>> &pictures, QSize size = {40, 30});
    static QColor colourOf(const QImage &image)
    {
        return image.isNull() ? QColor() : image.pixelColor(image.width() / 2, image.height() / 2);
    }
    static bool near(const QColor &a, const QColor &b)
    {
        return qAbs(a.red() - b.red()) < 40 && qAbs(a.green() - b.green()) < 40 &&
               qAbs(a.blue() - b.blue()) < 40;
    }

    std::unique_ptr<QTemporaryDir> m_dir;
};

void SlideshowTest::init() { m_dir = std::make_unique<QTemporaryDir>(); }

QString SlideshowTest::makeFolder(const QList<QPair<QString, QColor>> &pictures, QSize size)
{
    for (const auto &[name, colour] : pictures)
        TestFiles::writePicture(m_dir->filePath(name), size.width(), size.height(), colour, "JPEG");
    return m_dir->path();
}

void SlideshowTest::aFolderWithoutPicturesStopsQuietly()
{
    TestFiles::writePicture(m_dir->filePath(QStringLiteral("a.png")), 10, 10);
    ShowFixture show;
    show.confirmShow(m_dir->path(), QStringLiteral("0.05"), /*cyclic*/ true);
    QVERIFY(show.waitForShowEnd());
    LARK_M7 *viewer = show.viewer();
    QVERIFY(show.captions.isEmpty());
    QCOMPARE(viewer->windowTitle(), QStringLiteral("FOTO"));
    QVERIFY(show.services.messages.isEmpty());
    QVERIFY(viewer->Command1->isVisible());
    QVERIFY(viewer->Command2->isVisible());
    QVERIFY(!viewer->Command3->isVisible());
    QCOMPARE(int(show.state().ShowState), 1);
    QCOMPARE(int(show.state().PictureCount), 1000);
    QCOMPARE(show.services.pointers.count(11), 1); // one pass, not repeated
    QCOMPARE(show.services.pointers.last(), 0);
    QVERIFY(!viewer->Image1->hasPicture());
}

void SlideshowTest::picturesFollowInNaturalOrderWithTheDelayBetween()
{
    makeFolder({{QStringLiteral("IMG_10.JPG"), Qt::blue},
                {QStringLiteral("IMG_2.JPG"), Qt::green},
                {QStringLiteral("IMG_1.JPG"), Qt::red}});
    ShowFixture show;
    show.confirmShow(m_dir->path(), QStringLiteral("0.3"));
    QVERIFY(show.waitForShowEnd());
    QCOMPARE(show.shownNames(),
             (QStringList{"IMG_1.JPG", "IMG_2.JPG", "IMG_10.JPG"}));
    QCOMPARE(show.captions.first(), m_dir->filePath(QStringLiteral("IMG_1.JPG")));
    QCOMPARE(show.viewer()->windowTitle(),
             QStringLiteral("IMMAGINE  ") + m_dir->filePath(QStringLiteral("IMG_10.JPG")));
    // Each picture was on screen when the next was named; the last one stays.
    QVERIFY(near(colourOf(show.imagesAtCaption[1]), Qt::red));
    QVERIFY(near(colourOf(show.imagesAtCaption[2]), Qt::green));
    QVERIFY(near(colourOf(show.viewer()->Image1->picture()), Qt::blue));
    QVERIFY(show.viewer()->Image1->isVisible());
    // The delay stands between two pictures; the last one is not followed by a wait.
    for (int i = 1; i < 3; ++i) {
        const qint64 gap = show.shownTimes[i] - show.shownTimes[i - 1];
        QVERIFY2(gap >= 295 && gap < 1500, qPrintable(QString::number(gap)));
    }
    QCOMPARE(int(show.state().ShowState), 1);
    QCOMPARE(int(show.state().PictureCount), 3);
    QCOMPARE(int(show.state().BlockCount), 1);
    QCOMPARE(show.state().CurrentName, QString());
    QVERIFY(show.viewer()->Command2->isVisible());
    QVERIFY(!show.viewer()->Command3->isVisible());
    QCOMPARE(show.services.pointers.count(11), 1);
}

void SlideshowTest::theCyclicOptionRepeatsPassesUntilAStop()
{
    makeFolder({{QStringLiteral("A.JPG"), Qt::red}, {QStringLiteral("B.JPG"), Qt::blue}});
    ShowFixture show;
    QTimer::singleShot(700, &show, [&show] { show.state().ShowState = 1; });
    show.confirmShow(m_dir->path(), QStringLiteral("0.05"), /*cyclic*/ true);
    QVERIFY(show.waitForShowEnd());
    const QStringList names = show.shownNames();
    QVERIFY2(names.size() >= 5, qPrintable(names.join(u',')));
    for (int i = 0; i < names.size(); ++i)
        QCOMPARE(names[i], i % 2 == 0 ? QStringLiteral("A.JPG") : QStringLiteral("B.JPG"));
    QVERIFY(show.services.pointers.count(11) >= 2);
    QCOMPARE(int(show.state().ShowState), 1);
}

void SlideshowTest::aFileThatIsNoPictureStopsTheShowWithItsMessage()
{
    makeFolder({{QStringLiteral("A.JPG"), Qt::red}});
    TestFiles::writeBytes(m_dir->filePath(QStringLiteral("B.JPG")), "testo, non un'immagine");
    TestFiles::writePicture(m_dir->filePath(QStringLiteral("C.JPG")), 20, 20, Qt::blue, "JPEG");
    ShowFixture show;
    show.confirmShow(m_dir->path(), QStringLiteral("0.05"), /*cyclic*/ true);
    QVERIFY(show.waitForShowEnd());
    const QString path = m_dir->filePath(QStringLiteral("B.JPG"));
    QCOMPARE(show.services.messages,
             QStringList{QStringLiteral("Immagine ") + path +
                         QStringLiteral("\r di formato non compatibile !!!\r\r 481 - Immagine "
                                        "non valida")});
    QCOMPARE(show.shownNames(), (QStringList{"A.JPG", "B.JPG"}));
    QVERIFY(near(colourOf(show.viewer()->Image1->picture()), Qt::red));
    QVERIFY(show.viewer()->Image1->isVisible());
    const QString differences = show.differencesFromErrorPathEnd();
    QVERIFY2(differences.isEmpty(), qPrintable(differences));
}

void SlideshowTest::aPictureRemovedDuringTheWaitEndsTheShowQuietly()
{
    makeFolder({{QStringLiteral("A.JPG"), Qt::red}, {QStringLiteral("B.JPG"), Qt::blue}});
    ShowFixture show;
    QTimer::singleShot(150, &show,
                       [this] { QFile::remove(m_dir->filePath(QStringLiteral("B.JPG"))); });
    show.confirmShow(m_dir->path(), QStringLiteral("0.5"));
    QVERIFY(show.waitForShowEnd());
    QCOMPARE(show.shownNames(), QStringList{QStringLiteral("A.JPG")});
    QVERIFY(show.services.messages.isEmpty());
    QCOMPARE(int(show.state().ShowState), 1);
    QCOMPARE(int(show.state().PictureCount), 1000);
    QCOMPARE(int(show.state().ProbeFailed), 1);
    QVERIFY(near(colourOf(show.viewer()->Image1->picture()), Qt::red));
}

void SlideshowTest::theCountersEndAShowWithoutMusicAfter499Pictures()
{
    for (int i = 1; i <= 600; ++i)
        TestFiles::writePicture(m_dir->filePath(QStringLiteral("P%1.JPG").arg(i)), 4, 4,
                                Qt::gray, "JPEG");
    ShowFixture show;
    show.player.musicSwitch = false;
    show.confirmShow(m_dir->path(), QStringLiteral("0"), /*cyclic*/ true);
    QVERIFY(show.waitForShowEnd(60000));
    QCOMPARE(show.captions.size(), 499);
    QCOMPARE(show.shownNames().last(), QStringLiteral("P499.JPG"));
    QCOMPARE(int(show.state().ShowState), 1);
    QCOMPARE(int(show.state().PictureCount), 500);
    QCOMPARE(show.services.pointers.count(11), 1);
    QVERIFY(show.player.calls == QStringList{QStringLiteral("switch")});
}

void SlideshowTest::withMusicTheCountersNeverEndTheShow()
{
    for (int i = 1; i <= 600; ++i)
        TestFiles::writePicture(m_dir->filePath(QStringLiteral("P%1.JPG").arg(i)), 4, 4,
                                Qt::gray, "JPEG");
    ShowFixture show;
    show.player.musicSwitch = true;
    show.confirmShow(m_dir->path(), QString());
    QVERIFY(show.waitForShowEnd(60000));
    QCOMPARE(show.captions.size(), 600);
    QCOMPARE(show.shownNames().last(), QStringLiteral("P600.JPG"));
    QCOMPARE(show.state().CurrentName, QString()); // the pass ended at the end of the folder
    // 499 pictures fill the first block; the next 100 waits count from 1 again.
    QCOMPARE(int(show.state().PictureCount), 101);
    QCOMPARE(int(show.state().BlockCount), 1);
}

void SlideshowTest::theImageTakesItsSizeFromThePicturesShape()
{
    TestFiles::writePicture(m_dir->filePath(QStringLiteral("1_landscape.JPG")), 300, 200,
                            Qt::red, "JPEG");
    TestFiles::writePicture(m_dir->filePath(QStringLiteral("2_portrait.JPG")), 200, 300,
                            Qt::green, "JPEG");
    TestFiles::writePicture(m_dir->filePath(QStringLiteral("3_square.JPG")), 200, 200,
                            Qt::blue, "JPEG");
    ShowFixture show;
    show.confirmShow(m_dir->path(), QStringLiteral("0.02"));
    QVERIFY(show.waitForShowEnd());
    LARK_M7 *viewer = show.viewer();
    QCOMPARE(show.captions.size(), 3);
    const float w = viewer->outerWidth();
    const float h = viewer->outerHeight();
    const QSize landscape(Twips::toPixels(w - 500), Twips::toPixels(h - 600));
    const QSize portrait(Twips::toPixels(w / 2), Twips::toPixels(h - 600));
    QCOMPARE(show.imageSizesAtCaption[1], landscape);
    QCOMPARE(show.imageSizesAtCaption[2], portrait);
    QCOMPARE(viewer->Image1->size(), portrait); // the square one
    QCOMPARE(viewer->Image1->pos(), QPoint(8, 8));

    // The picture is drawn whole, centred, with its proportions.
    const QRect drawn = viewer->Image1->pictureRect();
    QCOMPARE(drawn.width(), drawn.height());
    QCOMPARE(drawn.center().x(), viewer->Image1->rect().center().x());
    QVERIFY(drawn.width() == portrait.width() || drawn.height() == portrait.height());
    const QImage landscapeShown = show.imagesAtCaption[1];
    QVERIFY(qAbs(double(landscapeShown.width()) / landscapeShown.height() - 1.5) < 0.02);
    // The image holds the picture at the size it is shown, not larger.
    QVERIFY(landscapeShown.width() <= landscape.width() * viewer->devicePixelRatioF() + 1);
}

void SlideshowTest::turnedAndHugePicturesLoad()
{
    // Stored lying on its side, left half red: upright it is a portrait with red on top.
    QImage stored(300, 150, QImage::Format_RGB32);
    stored.fill(Qt::blue);
    for (int y = 0; y < 150; ++y)
        for (int x = 0; x < 150; ++x)
            stored.setPixel(x, y, qRgb(255, 0, 0));
    QImageWriter writer(m_dir->filePath(QStringLiteral("A_turned.JPG")), "jpeg");
    writer.setTransformation(QImageIOHandler::TransformationRotate90);
    QVERIFY(writer.write(stored));
    // 108 megapixels: past what Qt decodes whole by default.
    QImage huge(12000, 9000, QImage::Format_Grayscale8);
    huge.fill(200);
    QVERIFY(huge.save(m_dir->filePath(QStringLiteral("B_huge.JPG")), "JPEG", 50));
    huge = QImage();

    ShowFixture show;
    show.confirmShow(m_dir->path(), QStringLiteral("0.02"));
    QVERIFY(show.waitForShowEnd(60000));
    QVERIFY2(show.services.messages.isEmpty(), qPrintable(show.services.messages.join(u'|')));
    QCOMPARE(show.captions.size(), 2);
    LARK_M7 *viewer = show.viewer();
    const float w = viewer->outerWidth();
    const float h = viewer->outerHeight();
    // The turned picture counted as a portrait and was shown upright.
    QCOMPARE(show.imageSizesAtCaption[1], QSize(Twips::toPixels(w / 2), Twips::toPixels(h - 600)));
    const QImage turned = show.imagesAtCaption[1];
    QVERIFY(turned.height() > turned.width());
    QVERIFY(qRed(turned.pixel(turned.width() / 2, 3)) > 200);
    QVERIFY(qBlue(turned.pixel(turned.width() / 2, turned.height() - 3)) > 200);
    // The huge one is shown, decoded no larger than its place.
    const QImage shown = viewer->Image1->picture();
    QVERIFY(!shown.isNull());
    QVERIFY(shown.width() <= Twips::toPixels(w - 500) * viewer->devicePixelRatioF() + 1);
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
        bytes = TestFiles::encodeHeif(stored, orientation, extension == QStringLiteral("AVIF"));
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
                                    number(1, 2) + number(0x0112, 2) + number(3, 2) +
                                    number(1, 4) + number(orientation, 2) + number(0, 2) +
                                    number(0, 4);
            const QByteArray exif = QByteArray("Exif\0\0", 6) + tiff;
            const int length = int(exif.size()) + 2;
            bytes.insert(2, QByteArray("\xFF\xE1") + char(length >> 8) + char(length) + exif);
        }
    }
    // A good picture with its music, and the same file cut in half.
    const QString good = m_dir->filePath(QStringLiteral("Foto.") + extension);
    const QString broken = m_dir->filePath(QStringLiteral("Rotto.") + extension);
    TestFiles::writeBytes(good, bytes);
    TestFiles::writeBytes(broken, bytes.left(bytes.size() / 2));
    TestFiles::writeBytes(m_dir->filePath(QStringLiteral("Foto.MP3")), "ID3");

    ShowFixture show;
    show.confirmShow(m_dir->path(), QStringLiteral("0.05"), /*cyclic*/ false, extension);
    QVERIFY(show.waitForShowEnd());
    QCOMPARE(show.captions, (QStringList{good, broken}));
    QCOMPARE(show.player.filesSet, QStringList{m_dir->filePath(QStringLiteral("Foto.MP3"))});
    QCOMPARE(show.services.messages,
             QStringList{QStringLiteral("Immagine ") + broken +
                         QStringLiteral("\r di formato non compatibile !!!\r\r 481 - Immagine "
                                        "non valida")});
    // Shown upright, in the place of a portrait.
    LARK_M7 *viewer = show.viewer();
    QCOMPARE(show.imageSizesAtCaption[1], QSize(Twips::toPixels(viewer->outerWidth() / 2),
                                                Twips::toPixels(viewer->outerHeight() - 600)));
    const QImage shown = show.imagesAtCaption[1];
    QVERIFY(shown.height() > shown.width());
    const int w = shown.width(), h = shown.height();
    QVERIFY(near(shown.pixelColor(w / 4, h / 4), Qt::red));
    QVERIFY(near(shown.pixelColor(w * 3 / 4, h / 4), Qt::green));
    QVERIFY(near(shown.pixelColor(w / 4, h * 3 / 4), Qt::blue));
    QVERIFY(near(shown.pixelColor(w * 3 / 4, h * 3 / 4), Qt::blue));
}

void SlideshowTest::theWaitIsRealElapsedTime()
{
    makeFolder({{QStringLiteral("A.JPG"), Qt::red}, {QStringLiteral("B.JPG"), Qt::blue}});
    {
        // Started at second 58 of a minute, a delay of 5 ends 5 s later, not at the turn.
        FakeClock clock(58000, 250);
        ShowFixture show(&clock);
        show.confirmShow(m_dir->path(), QStringLiteral("5"));
        QVERIFY(show.waitForShowEnd());
        QCOMPARE(show.clockTimes.size(), 2);
        QCOMPARE(show.clockTimes[1] - show.clockTimes[0], 5000);
    }
    {
        // Delays of a minute and more end by themselves.
        FakeClock clock(0, 1000);
        ShowFixture show(&clock);
        show.confirmShow(m_dir->path(), QStringLiteral("61"));
        QVERIFY(show.waitForShowEnd());
        QCOMPARE(show.clockTimes.size(), 2);
        QCOMPARE(show.clockTimes[1] - show.clockTimes[0], 61000);
        QCOMPARE(clock.turns, 61);
    }
    {
        // Fractions count: 2.5 s is not 3 s.
        FakeClock clock(0, 100);
        ShowFixture show(&clock);
        show.confirmShow(m_dir->path(), QStringLiteral("2.5"));
        QVERIFY(show.waitForShowEnd());
        QCOMPARE(show.clockTimes[1] - show.clockTimes[0], 2500);
    }
    {
        // No delay, a negative one, or none taken: one turn between two pictures.
        for (const QString &delay : {QStringLiteral("0"), QStringLiteral("-3")}) {
            FakeClock clock(0, 100);
            ShowFixture show(&clock);
            show.confirmShow(m_dir->path(), delay);
            QVERIFY(show.waitForShowEnd());
            QCOMPARE(show.captions.size(), 2);
            QCOMPARE(clock.turns, 1);
        }
    }
}

void SlideshowTest::aStopRequestEndsALongWaitAtOnce()
{
    makeFolder({{QStringLiteral("A.JPG"), Qt::red}, {QStringLiteral("B.JPG"), Qt::blue}});
    ShowFixture show;
    QTimer::singleShot(200, &show, [&show] { show.state().ShowState = 1; });
    QElapsedTimer clock;
    clock.start();
    show.confirmShow(m_dir->path(), QStringLiteral("30"), /*cyclic*/ true);
    QVERIFY(show.waitForShowEnd(10000));
    QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(show.shownNames(), QStringList{QStringLiteral("A.JPG")});
    QCOMPARE(int(show.state().PictureCount), 1); // the picture was not counted
    QVERIFY(!show.viewer()->Command3->isVisible());
}

void SlideshowTest::aDelayTakenDuringTheWaitAppliesToIt()
{
    makeFolder({{QStringLiteral("A.JPG"), Qt::red}, {QStringLiteral("B.JPG"), Qt::blue}});
    ShowFixture show;
    QTimer::singleShot(200, &show, [&show, this] {
        show.setup().Text2->setText(QStringLiteral("0.5"));
        show.services.dialogAnswers << m_dir->filePath(QStringLiteral("A.JPG"));
        QTest::mouseClick(show.setup().Command1, Qt::LeftButton);
    });
    QElapsedTimer clock;
    clock.start();
    show.confirmShow(m_dir->path(), QStringLiteral("100"));
    // The wait ends half a second in, not after 100 s; the Browse has emptied the show's
    // folder, so the next picture's probe then ends the show quietly.
    QVERIFY(show.waitForShowEnd(10000));
    QVERIFY2(clock.elapsed() < 10000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(show.shownNames(), QStringList{QStringLiteral("A.JPG")});
}

void SlideshowTest::aConfirmationDuringACyclicShowDoesNotHang()
{
    makeFolder({{QStringLiteral("A.JPG"), Qt::red},
                {QStringLiteral("B.JPG"), Qt::green},
                {QStringLiteral("C.JPG"), Qt::blue}});
    ShowFixture show;
    bool confirmedAgain = false;
    QTimer::singleShot(300, &show, [&] {
        QTest::mouseClick(show.setup().Command2, Qt::LeftButton);
        show.viewer()->repaint();
        confirmedAgain = true;
    });
    show.confirmShow(m_dir->path(), QStringLiteral("0.2"), /*cyclic*/ true);
    QVERIFY(show.waitForShowEnd(10000));
    QVERIFY(confirmedAgain);
    QCOMPARE(int(show.state().ShowState), 1);
    QCOMPARE(int(show.state().LoopActive), 0);
    // The suspended loop ended at its next turn: no further picture was named.
    const int shown = show.captions.size();
    QTest::qWait(500);
    QCOMPARE(show.captions.size(), shown);
}

void SlideshowTest::aMinimizedViewerIsRestoredAtTheNextPicture()
{
    makeFolder({{QStringLiteral("A.JPG"), Qt::red}, {QStringLiteral("B.JPG"), Qt::blue}});
    ShowFixture show;
    bool wasMinimized = false;
    QTimer::singleShot(100, &show, [&] {
        show.viewer()->showMinimized();
        wasMinimized = show.viewer()->isMinimized();
    });
    show.confirmShow(m_dir->path(), QStringLiteral("0.4"));
    QVERIFY(show.waitForShowEnd());
    QVERIFY(wasMinimized);
    QCOMPARE(show.captions.size(), 2);
    QVERIFY(!show.viewer()->isMinimized());
    QVERIFY(!show.viewer()->isMaximized());
}

QTEST_MAIN(SlideshowTest)
#include "tst_slideshow.moc"
