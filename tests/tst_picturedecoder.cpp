// The picture decoder on its own: a picture fitted to its box and turned upright, and a file
// that is no picture refused.
#include "pictures/picturedecoder.h"

#include "support/testfiles.h"

#include <QImageWriter>
#include <QTemporaryDir>
#include <QTest>

class PictureDecoderTest : public QObject
{
    Q_OBJECT

private slots:
    void fitsThePictureAndTurnsItUpright();
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
