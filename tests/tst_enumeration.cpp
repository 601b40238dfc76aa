#include "runtime/directorycursor.h"
#include "runtime/fileprobe.h"
#include "state/sharedstate.h"
#include "pictures/picturedecoder.h"
#include "pictures/pictureprobe.h"

#include "support/heiffiles.h"
#include "support/testfiles.h"

#include <QDir>
#include <QFile>
#include <QImageWriter>
#include <QTemporaryDir>
#include <QTest>

class EnumerationTest : public QObject
{
    Q_OBJECT

private slots:
    void wildcardMatch_data();
    void wildcardMatch();
    void naturalOrderIgnoresCase();
    void cursorListsMatchingFilesInNaturalOrder();
    void severalExtensionsListedTogether_data();
    void severalExtensionsListedTogether();
    void cursorSkipsFoldersAndHiddenFiles();
    void cursorTakesItsListAtTheStart();
    void cursorInAnEmptyOrMissingFolder();
    void probeOpensFilesOnly();
    void decoderFitsThePictureAndTurnsItUpright();
    void decoderMakesHeifPicturesInLibheifsColours_data();
    void decoderMakesHeifPicturesInLibheifsColours();
    void decoderRefusesWhatIsNoPicture();
};

void EnumerationTest::wildcardMatch_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("mask");
    QTest::addColumn<bool>("matches");
    QTest::newRow("extension") << "Mare.JPG"
                               << "*.JPG" << true;
    QTest::newRow("case ignored") << "mare.jpg"
                                  << "*.JPG" << true;
    QTest::newRow("other extension") << "Mare.JPEG"
                                     << "*.JPG" << false;
    QTest::newRow("extension inside") << "Mare.JPG.txt"
                                      << "*.JPG" << false;
    QTest::newRow("empty extension") << "Mare"
                                     << "*." << false;
    QTest::newRow("dot at the end") << "Mare."
                                    << "*." << true;
    QTest::newRow("doubled dot") << "Mare..JPG"
                                 << "*..JPG" << true;
    QTest::newRow("question mark") << "A1.JPG"
                                   << "A?.JPG" << true;
    QTest::newRow("star alone") << "x"
                                << "*" << true;
    QTest::newRow("stars backtrack") << "aXbXc.JPG"
                                     << "*X*.JPG" << true;
    QTest::newRow("accents fold") << "ÈTNA.jpg"
                                  << "èt*.JPG" << true;
    QTest::newRow("no star") << "A.JPG"
                             << "A.JPG" << true;
    QTest::newRow("long mask") << "A.JPG"
                               << "A.JPG*.JPG" << false;
}

void EnumerationTest::wildcardMatch()
{
    QFETCH(QString, name);
    QFETCH(QString, mask);
    QFETCH(bool, matches);
    QCOMPARE(DirectoryMatching::wildcardMatch(name, mask), matches);
}

void EnumerationTest::naturalOrderIgnoresCase()
{
    QStringList names = {QStringLiteral("IMG_10.JPG"),  QStringLiteral("img_2.JPG"),
                         QStringLiteral("IMG_1.JPG"),   QStringLiteral("b.JPG"),
                         QStringLiteral("A.JPG"),       QStringLiteral("IMG_02.JPG"),
                         QStringLiteral("IMG_100.JPG"), QStringLiteral("Zucca.JPG"),
                         QStringLiteral("Èlba.JPG"),    QStringLiteral("elba.JPG")};
    std::sort(names.begin(), names.end(), DirectoryMatching::naturalLess);
    QCOMPARE(names,
             (QStringList{"A.JPG", "b.JPG", "elba.JPG", "Èlba.JPG", "IMG_1.JPG", "IMG_02.JPG",
                          "img_2.JPG", "IMG_10.JPG", "IMG_100.JPG", "Zucca.JPG"}));
    QVERIFY(!DirectoryMatching::naturalLess(QStringLiteral("x"), QStringLiteral("x")));
}

void EnumerationTest::cursorListsMatchingFilesInNaturalOrder()
{
    QTemporaryDir dir;
    for (const char *name : {"IMG_10.JPG", "IMG_2.jpg", "IMG_1.JPG", "notes.txt", "IMG_3.PNG"})
        TestFiles::writeBytes(dir.filePath(QString::fromLatin1(name)), "x");
    DirectoryCursor cursor;
    QCOMPARE(cursor.start(dir.path() + QStringLiteral("/*.JPG")), QStringLiteral("IMG_1.JPG"));
    QCOMPARE(cursor.next(), QStringLiteral("IMG_2.jpg"));
    QCOMPARE(cursor.next(), QStringLiteral("IMG_10.JPG"));
    QCOMPARE(cursor.next(), QString());
    QCOMPARE(cursor.next(), QString());
    // A new start begins again from the first name.
    QCOMPARE(cursor.start(dir.path() + QStringLiteral("/*.png")), QStringLiteral("IMG_3.PNG"));
    QCOMPARE(cursor.next(), QString());
}

void EnumerationTest::severalExtensionsListedTogether_data()
{
    QTest::addColumn<QString>("field"); // the extension field as typed
    QTest::addColumn<QStringList>("listed");
    QTest::newRow("one extension") << "JPG" << QStringList{"IMG_1.JPG", "IMG_3.jpg"};
    QTest::newRow("two, a blank") << "JPG HEIC"
                                  << QStringList{"IMG_1.JPG", "IMG_2.HEIC", "IMG_3.jpg"};
    QTest::newRow("commas, semicolons")
        << "jpg,heic;png" << QStringList{"IMG_1.JPG", "IMG_2.HEIC", "IMG_3.jpg", "IMG_10.png"};
    QTest::newRow("letter case, runs of separators")
        << "heic , ;PNG" << QStringList{"IMG_2.HEIC", "IMG_10.png"};
}

void EnumerationTest::severalExtensionsListedTogether()
{
    QFETCH(QString, field);
    QFETCH(QStringList, listed);
    QTemporaryDir dir;
    for (const char *name : {"IMG_10.png", "IMG_3.jpg", "IMG_2.HEIC", "IMG_1.JPG", "notes.txt"})
        TestFiles::writeBytes(dir.filePath(QString::fromLatin1(name)), "x");
    QCOMPARE(DirectoryCursor::list(dir.path() + QStringLiteral("/*.") + field), listed);
}

void EnumerationTest::cursorSkipsFoldersAndHiddenFiles()
{
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("Cartella.JPG")));
    TestFiles::writeBytes(dir.filePath(QStringLiteral(".nascosta.JPG")), "x");
    TestFiles::writeBytes(dir.filePath(QStringLiteral("visibile.JPG")), "x");
    DirectoryCursor cursor;
    QCOMPARE(cursor.start(dir.path() + QStringLiteral("/*.JPG")), QStringLiteral("visibile.JPG"));
    QCOMPARE(cursor.next(), QString());
}

void EnumerationTest::cursorTakesItsListAtTheStart()
{
    QTemporaryDir dir;
    TestFiles::writeBytes(dir.filePath(QStringLiteral("A.JPG")), "x");
    TestFiles::writeBytes(dir.filePath(QStringLiteral("B.JPG")), "x");
    DirectoryCursor cursor;
    QCOMPARE(cursor.start(dir.path() + QStringLiteral("/*.JPG")), QStringLiteral("A.JPG"));
    TestFiles::writeBytes(dir.filePath(QStringLiteral("AA.JPG")), "x");
    QVERIFY(QFile::remove(dir.filePath(QStringLiteral("B.JPG"))));
    QCOMPARE(cursor.next(), QStringLiteral("B.JPG"));
    QCOMPARE(cursor.next(), QString());
}

void EnumerationTest::cursorInAnEmptyOrMissingFolder()
{
    QTemporaryDir dir;
    DirectoryCursor cursor;
    QCOMPARE(cursor.start(dir.path() + QStringLiteral("/*.JPG")), QString());
    QCOMPARE(cursor.start(dir.path() + QStringLiteral("/missing/*.JPG")), QString());
    QCOMPARE(cursor.next(), QString());
}

void EnumerationTest::probeOpensFilesOnly()
{
    QTemporaryDir dir;
    TestFiles::writeBytes(dir.filePath(QStringLiteral("A.JPG")), "x");
    QVERIFY(FileProbe::canOpenForReading(dir.filePath(QStringLiteral("A.JPG"))));
    QVERIFY(!FileProbe::canOpenForReading(dir.filePath(QStringLiteral("B.JPG"))));
    QVERIFY(!FileProbe::canOpenForReading(dir.path()));
    QVERIFY(!FileProbe::canOpenForReading(QString()));

    SharedState state;
    state.ShowFolder = dir.path() + QLatin1Char('/');
    state.CurrentName = QStringLiteral("A.JPG");
    Int16 result = 7;
    GL_LARK::ProbeCurrentPicture(state, result, FileProbe::canOpenForReading);
    QCOMPARE(int(result), 0);
    QCOMPARE(state.CurrentPath, dir.filePath(QStringLiteral("A.JPG")));
    // An exhausted folder leaves the folder itself to probe, which fails.
    state.CurrentName.clear();
    GL_LARK::ProbeCurrentPicture(state, result, FileProbe::canOpenForReading);
    QCOMPARE(int(result), 1);
    QCOMPARE(state.CurrentPath, state.ShowFolder);
}

void EnumerationTest::decoderFitsThePictureAndTurnsItUpright()
{
    QTemporaryDir dir;
    // 400 x 200, left half red and right half blue, stored turned: it stands upright as a
    // portrait picture with red on top.
    QImage stored(400, 200, QImage::Format_RGB32);
    stored.fill(Qt::blue);
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 200; ++x)
            stored.setPixel(x, y, qRgb(255, 0, 0));
    const QString path = dir.filePath(QStringLiteral("turned.JPG"));
    QImageWriter writer(path, "jpeg");
    writer.setTransformation(QImageIOHandler::TransformationRotate90);
    QVERIFY(writer.write(stored));

    const PictureDecoder::Picture picture = PictureDecoder::decode(path, QSize(100, 100));
    QCOMPARE(picture.error, 0);
    QCOMPARE(picture.natural, QSize(200, 400));
    QCOMPARE(picture.image.size(), QSize(50, 100));
    QVERIFY(qRed(picture.image.pixel(25, 5)) > 200 && qBlue(picture.image.pixel(25, 5)) < 60);
    QVERIFY(qBlue(picture.image.pixel(25, 95)) > 200 && qRed(picture.image.pixel(25, 95)) < 60);

    // A small picture is enlarged once to fit its box, proportions kept.
    const QString small = dir.filePath(QStringLiteral("small.PNG"));
    TestFiles::writePicture(small, 30, 20);
    QCOMPARE(PictureDecoder::decode(small, QSize(300, 300)).image.size(), QSize(300, 200));
    // A box of no size still gives a picture.
    QCOMPARE(PictureDecoder::decode(small, QSize(0, 0)).image.size(), QSize(1, 1));
}

void EnumerationTest::decoderMakesHeifPicturesInLibheifsColours_data()
{
    // Red grows to the right and green downwards over a 300 x 200 picture; alpha, where there is
    // any, grows to the right too.
    const auto gradient = [](QImage::Format format) {
        QImage picture(300, 200, format);
        for (int y = 0; y < picture.height(); ++y)
            for (int x = 0; x < picture.width(); ++x)
                picture.setPixelColor(x, y,
                                      QColor(x * 255 / 299, y * 255 / 199, 160, 55 + x * 2 / 3));
        return picture;
    };
    QTest::addColumn<QImage>("picture");
    QTest::addColumn<bool>("av1");
    QTest::newRow("HEIC, 8 bits") << gradient(QImage::Format_RGB32) << false;
    QTest::newRow("HEIC, 10 bits") << gradient(QImage::Format_RGBX64) << false;
    QTest::newRow("AVIF with alpha") << gradient(QImage::Format_ARGB32) << true;
}

void EnumerationTest::decoderMakesHeifPicturesInLibheifsColours()
{
    QFETCH(QImage, picture);
    QFETCH(bool, av1);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("gradient.HEIC"));
    const QByteArray bytes = TestFiles::encodeHeif(picture, 1, av1);
    TestFiles::writeBytes(path, bytes);
    // Made 97 pixels wide: each averages about three of the picture's.
    const QImage made = PictureDecoder::decode(path, QSize(97, 97)).image;
    QCOMPARE(made.size(), QSize(97, 64));
    const QImage libheifs = TestFiles::decodeHeif(bytes).scaled(made.size(), Qt::IgnoreAspectRatio,
                                                                Qt::SmoothTransformation);
    for (int y = 0; y < made.height(); ++y)
        for (int x = 0; x < made.width(); ++x)
            for (const int shift : {0, 8, 16, 24})
                QVERIFY2(qAbs(int(made.pixel(x, y) >> shift & 0xFF) -
                              int(libheifs.pixel(x, y) >> shift & 0xFF)) <= 3,
                         qPrintable(QStringLiteral("%1,%2: %3 against %4")
                                        .arg(x)
                                        .arg(y)
                                        .arg(made.pixel(x, y), 8, 16)
                                        .arg(libheifs.pixel(x, y), 8, 16)));
}

void EnumerationTest::decoderRefusesWhatIsNoPicture()
{
    QTemporaryDir dir;
    const QString text = dir.filePath(QStringLiteral("text.JPG"));
    TestFiles::writeBytes(text, "this is no picture at all");
    QCOMPARE(PictureDecoder::decode(text, QSize(100, 100)).error, 481);
    const QString empty = dir.filePath(QStringLiteral("empty.JPG"));
    TestFiles::writeBytes(empty, QByteArray());
    QCOMPARE(PictureDecoder::decode(empty, QSize(100, 100)).error, 481);
    QCOMPARE(PictureDecoder::decode(dir.filePath(QStringLiteral("none.JPG")), QSize(9, 9)).error,
             481);
}

QTEST_GUILESS_MAIN(EnumerationTest)
#include "tst_enumeration.moc"
