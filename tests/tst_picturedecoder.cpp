// The picture decoder on its own: a picture fitted to its box and turned upright, and a file
// that is no picture refused.
#include "pictures/picturedecoder.h"

#include "support/heiffiles.h"
#include "support/testfiles.h"

#include <QImageWriter>
#include <QTemporaryDir>
#include <QTest>

class PictureDecoderTest : public QObject
{
    Q_OBJECT

private slots:
    void fitsThePictureAndTurnsItUpright();
    void makesHeifPicturesInLibheifsColours_data();
    void makesHeifPicturesInLibheifsColours();
    void refusesWhatIsNoPicture();

private:
    QTemporaryDir m_dir;
};

void PictureDecoderTest::fitsThePictureAndTurnsItUpright()
{
    // 400 x 200, left half red and right half blue, stored turned: it stands upright as a
    // portrait picture with red on top.
    QImage stored(400, 200, QImage::Format_RGB32);
    stored.fill(Qt::blue);
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 200; ++x)
            stored.setPixel(x, y, qRgb(255, 0, 0));
    const QString path = m_dir.filePath(QStringLiteral("turned.JPG"));
    QImageWriter writer(path, "jpeg");
    writer.setTransformation(QImageIOHandler::TransformationRotate90);
    QVERIFY(writer.write(stored));

    const PictureDecoder::Picture picture = PictureDecoder::decode(path, QSize(100, 100));
    QCOMPARE(picture.error, 0);
    QCOMPARE(picture.natural, QSize(200, 400));
    QCOMPARE(picture.image.size(), QSize(50, 100));
    QVERIFY(TestFiles::near(picture.image.pixelColor(25, 5), Qt::red));
    QVERIFY(TestFiles::near(picture.image.pixelColor(25, 95), Qt::blue));

    // A small picture is enlarged once to fit its box, proportions kept; a box of no size
    // still gives a picture.
    const QString small = m_dir.filePath(QStringLiteral("small.PNG"));
    TestFiles::writePicture(small, 30, 20);
    QCOMPARE(PictureDecoder::decode(small, QSize(300, 300)).image.size(), QSize(300, 200));
    QCOMPARE(PictureDecoder::decode(small, QSize(0, 0)).image.size(), QSize(1, 1));
}

void PictureDecoderTest::makesHeifPicturesInLibheifsColours_data()
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

void PictureDecoderTest::makesHeifPicturesInLibheifsColours()
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

void PictureDecoderTest::refusesWhatIsNoPicture()
{
    const QString text = m_dir.filePath(QStringLiteral("text.JPG"));
    const QString empty = m_dir.filePath(QStringLiteral("empty.JPG"));
    TestFiles::writeBytes(text, "this is no picture at all");
    TestFiles::writeBytes(empty, QByteArray());
    for (const QString &path : {text, empty, m_dir.filePath(QStringLiteral("none.JPG"))})
        QCOMPARE(PictureDecoder::decode(path, QSize(100, 100)).error, 481);
}

QTEST_GUILESS_MAIN(PictureDecoderTest)
#include "tst_picturedecoder.moc"
