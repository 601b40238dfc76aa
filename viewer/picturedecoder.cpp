#include "viewer/picturedecoder.h"

#include "runtime/runtimeerror.h"

#include <QFile>
#include <QImageReader>

#include <algorithm>

namespace PictureDecoder {

namespace {

// What a decode may cost. A file of a few kilobytes can claim a picture of gigapixels; past
// these bounds a picture is refused as unreadable instead of taking the memory or the time.
constexpr qint64 MaxPixels = 200'000'000;          // scanned in a few seconds
constexpr qint64 MaxJpegBufferBytes = 256LL << 20; // whole-picture buffer of a JPEG

bool turnsSideways(QImageIOHandler::Transformations transformation)
{
    return transformation.testFlag(QImageIOHandler::TransformationRotate90);
}

// Bytes of the whole-picture coefficient buffer that a progressive or multi-scan JPEG needs
// while it decodes (2 bytes per coefficient, 64 per 8x8 block of every component); 0 for a
// JPEG decoded as it streams, or when the headers cannot be read.
qint64 jpegBufferBytes(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    auto byte = [&file]() -> int {
        char c;
        return file.getChar(&c) ? quint8(c) : -1;
    };
    if (byte() != 0xFF || byte() != 0xD8)
        return 0;
    qint64 frameBytes = 0;
    int frameComponents = 0;
    for (int segment = 0; segment < 10000; ++segment) {
        int marker = byte();
        if (marker != 0xFF)
            return 0;
        while (marker == 0xFF)
            marker = byte();
        if (marker < 0 || marker == 0xD9)
            return 0;
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8))
            continue; // markers without a segment
        const int high = byte(), low = byte();
        if (high < 0 || low < 0)
            return 0;
        const qint64 length = high << 8 | low;
        if (length < 2)
            return 0;
        const QByteArray data = file.read(length - 2);
        if (data.size() != length - 2)
            return 0;
        const auto at = [&data](int i) { return i < data.size() ? int(quint8(data[i])) : 0; };
        const bool frame =
            marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame) {
            const qint64 height = at(1) << 8 | at(2), width = at(3) << 8 | at(4);
            frameComponents = at(5);
            int hMax = 1, vMax = 1;
            for (int c = 0; c < frameComponents; ++c) {
                hMax = std::max(hMax, at(7 + 3 * c) >> 4);
                vMax = std::max(vMax, at(7 + 3 * c) & 15);
            }
            frameBytes = 0;
            for (int c = 0; c < frameComponents; ++c) {
                const int h = std::max(1, at(7 + 3 * c) >> 4), v = std::max(1, at(7 + 3 * c) & 15);
                const qint64 columns = (width * h + 8 * hMax - 1) / (8 * hMax);
                const qint64 rows = (height * v + 8 * vMax - 1) / (8 * vMax);
                frameBytes += columns * rows * 128;
            }
            const bool progressive = (marker & 3) == 2; // SOF2, SOF6, SOF10, SOF14
            if (progressive)
                return frameBytes;
        } else if (marker == 0xDA) {
            // A first scan without every component means more scans, held whole.
            return frameComponents > 0 && at(0) < frameComponents ? frameBytes : 0;
        }
    }
    return 0;
}

} // namespace

QSize naturalSize(const QString &path)
{
    QImageReader reader(path);
    reader.setAutoTransform(true);
    const QSize stored = reader.size();
    if (!stored.isValid())
        return {};
    return turnsSideways(reader.transformation()) ? stored.transposed() : stored;
}

namespace {

// The size to ask the reader for, in the stored orientation. A JPEG shrinks by 1/2, 1/4 or 1/8
// cheaply while it decodes (libjpeg's fast scaled inverse DCT; other factors take slow paths):
// the most reduced of these that keeps 95% of the shown size is decoded, and one smooth scale
// then makes the shown size. Other formats are read at the shown size.
QSize sizeToDecode(const QSize &stored, const QSize &shown, bool jpeg)
{
    if (!jpeg)
        return shown;
    for (int reduction : {8, 4, 2}) {
        // Rounded down, so that the reader takes exactly this reduction.
        const QSize reduced(stored.width() / reduction, stored.height() / reduction);
        if (reduced.width() * 20 >= shown.width() * 19 &&
            reduced.height() * 20 >= shown.height() * 19)
            return reduced;
    }
    return shown;
}

} // namespace

Picture decode(const QString &path, const QSize &box)
{
    Picture result;
    QImageReader reader(path);
    reader.setAutoTransform(true);
    // TIFF, WebP and PNG are read whole before they are scaled, 4 bytes a pixel: Qt's default
    // limit of 128 MB would refuse a page scanned at 600 dpi or a 48-megapixel photo.
    reader.setAllocationLimit(int(MaxPixels * 4 >> 20));
    const QSize stored = reader.size();
    if (!reader.canRead() || !stored.isValid() || stored.isEmpty() ||
        qint64(stored.width()) * stored.height() > MaxPixels ||
        (reader.format() == "jpeg" && jpegBufferBytes(path) > MaxJpegBufferBytes)) {
        result.error = RuntimeError::InvalidPicture;
        return result;
    }
    const bool sideways = turnsSideways(reader.transformation());
    result.natural = sideways ? stored.transposed() : stored;

    // A box of no size (a window too small) still gets a picture of one pixel.
    QSize fitted = result.natural;
    fitted.scale(box.expandedTo(QSize(1, 1)), Qt::KeepAspectRatio);
    fitted = fitted.expandedTo(QSize(1, 1));

    // Decode straight at (about) the shown size when the picture is larger: the scaled size is
    // given in the stored orientation, before the EXIF turn.
    const bool shrink = fitted.width() < result.natural.width();
    if (shrink)
        reader.setScaledSize(
            sizeToDecode(stored, sideways ? fitted.transposed() : fitted, reader.format() == "jpeg"));
    QImage image = reader.read();
    if (image.isNull()) {
        result.error = RuntimeError::InvalidPicture;
        return result;
    }
    if (image.size() != fitted)
        image = image.scaled(fitted, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    result.image = image;
    return result;
}

} // namespace PictureDecoder
