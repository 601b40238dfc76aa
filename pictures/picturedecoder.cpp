#include "pictures/picturedecoder.h"

#include "runtime/runtimeerror.h"
#include "pictures/jpegdecoder.h"
#include "pictures/jpeglayout.h"
#include "pictures/picturefile.h"

#include <QFileInfo>
#include <QImageReader>
#include <QTransform>

#include <algorithm>
#include <memory>

namespace PictureDecoder {

namespace {

// What a decode may cost. A file of a few kilobytes can claim a picture of gigapixels; past
// these bounds a picture is refused as unreadable instead of taking the memory or the time.
constexpr qint64 MaxPixels = 200'000'000; // scanned in a few seconds
// Whole-picture buffer of a progressive JPEG: what a photo of 100 megapixels needs with three
// components at full resolution (4:4:4), 2 bytes a coefficient.
constexpr qint64 MaxJpegBufferBytes = 100'000'000LL * 3 * 2;
// A JPEG of many megapixels in few bytes is a bomb, not a photo: even a picture of one flat
// colour takes a byte for every few hundred pixels.
constexpr qint64 BombCheckPixels = 16'000'000;
constexpr qint64 MaxJpegPixelsPerByte = 1024;

bool turnsSideways(QImageIOHandler::Transformations transformation)
{
    return transformation.testFlag(QImageIOHandler::TransformationRotate90);
}

// Raw samples a picture's data may decode to, bytes: 16-bit RGBA is the most any format here
// stores. Formats other than JPEG are read no further than that beyond their header.
qint64 rawBound(const QSize &size)
{
    return qint64(size.width()) * size.height() * 8;
}
constexpr qint64 ReadSlackBytes = 64LL << 20;

// An open picture file and a reader on it, limited to what its picture needs.
struct OpenPicture
{
    std::optional<FileProbe::Stamp> stamp;
    std::unique_ptr<PictureFile> file;
    std::unique_ptr<QImageReader> reader;
    JpegLayout::Layout jpeg;
    bool isJpeg = false;
};

std::optional<OpenPicture> openPicture(const QString &path)
{
    const int descriptor = FileProbe::openRegularFile(path);
    if (descriptor < 0)
        return std::nullopt;
    OpenPicture picture;
    picture.stamp = FileProbe::stampOf(descriptor);
    const qint64 size = picture.stamp ? picture.stamp->size : 0;
    picture.jpeg = JpegLayout::read(descriptor, size);
    picture.isJpeg = picture.jpeg.verdict != JpegLayout::Verdict::NotJpeg;
    picture.file = std::make_unique<PictureFile>(
        descriptor,
        picture.jpeg.verdict == JpegLayout::Verdict::Decodable ? picture.jpeg.end : size);
    // The format is the content's; a content too damaged to tell is tried as the name's
    // extension says.
    picture.reader = std::make_unique<QImageReader>(picture.file.get());
    if (!picture.reader->canRead()) {
        picture.file->seek(0);
        picture.reader = std::make_unique<QImageReader>(
            picture.file.get(), QFileInfo(path).suffix().toLower().toLatin1());
    }
    picture.reader->setAutoTransform(true);
    // TIFF, WebP and PNG are read whole before they are scaled, 4 bytes a pixel: Qt's default
    // limit of 128 MB would refuse a page scanned at 600 dpi or a 48-megapixel photo.
    picture.reader->setAllocationLimit(int(MaxPixels * 4 >> 20));
    return picture;
}

// The size to ask the reader for, in the stored orientation. A JPEG shrinks by 1/2, 1/4 or 1/8
// cheaply while it decodes (libjpeg's fast scaled inverse DCT; other factors take slow paths):
// the most reduced of these that keeps 95% of the shown size is decoded, and one smooth scale
// then makes the shown size. Other formats are read at the shown size.
QSize sizeToDecode(const QSize &stored, const QSize &shown, bool jpeg)
{
    const int reduction = jpeg ? JpegDecoder::reductionFor(stored, shown) : 1;
    // Rounded down, so that the reader takes exactly this reduction.
    return reduction > 1 ? QSize(stored.width() / reduction, stored.height() / reduction) : shown;
}

// The picture turned upright as its EXIF orientation says, as Qt's reader turns it.
QImage upright(QImage image, QImageIOHandler::Transformations turn)
{
    if (turn == QImageIOHandler::TransformationRotate270)
        return image.transformed(QTransform().rotate(270));
    image = image.mirrored(turn.testFlag(QImageIOHandler::TransformationMirror),
                           turn.testFlag(QImageIOHandler::TransformationFlip));
    if (turn.testFlag(QImageIOHandler::TransformationRotate90))
        image = image.transformed(QTransform().rotate(90));
    return image;
}

// The size a picture of natural size is decoded to for boxes: the box of its shape, with its
// proportions kept; a box of no size (a window too small) still gets a pixel.
QSize fittedSize(const QSize &natural, const Boxes &boxes)
{
    const QSize box = natural.width() > natural.height() ? boxes.landscape : boxes.portrait;
    QSize fitted = natural;
    fitted.scale(box.expandedTo(QSize(1, 1)), Qt::KeepAspectRatio);
    return fitted.expandedTo(QSize(1, 1));
}

} // namespace

std::optional<Picture> refit(const Picture &picture, const Boxes &boxes)
{
    if (!picture.opened || picture.error != 0)
        return picture;
    const QSize fitted = fittedSize(picture.natural, boxes);
    const QSize has = picture.image.size();
    if (has.width() < fitted.width() || has.height() < fitted.height())
        return std::nullopt;
    Picture result = picture;
    if (has != fitted)
        result.image =
            picture.image.scaled(fitted, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return result;
}

Picture decode(const QString &path, const Boxes &boxes)
{
    Picture result;
    std::optional<OpenPicture> picture = openPicture(path);
    if (!picture) {
        result.error = RuntimeError::InvalidPicture;
        return result;
    }
    result.opened = true;
    // A refused picture carries its stamp too: its turn takes the refusal without reading
    // the file again.
    result.stamp = picture->stamp;
    QImageReader &reader = *picture->reader;
    const JpegLayout::Layout &jpeg = picture->jpeg;
    // A JPEG's size and turn come from its layout, read already: Qt's reader would read all
    // its segments again, were they tens of megabytes of metadata.
    const bool knownJpeg = picture->isJpeg && jpeg.width > 0 && jpeg.height > 0;
    const QSize stored = knownJpeg ? QSize(jpeg.width, jpeg.height) : reader.size();
    const qint64 pixels = qint64(stored.width()) * stored.height();
    const bool refused =
        !reader.canRead() || !stored.isValid() || stored.isEmpty() || pixels > MaxPixels ||
        (picture->isJpeg &&
         (jpeg.verdict == JpegLayout::Verdict::TooCostly || jpeg.bufferBytes > MaxJpegBufferBytes ||
          (pixels > BombCheckPixels && pixels > MaxJpegPixelsPerByte * jpeg.end)));
    if (refused) {
        result.error = RuntimeError::InvalidPicture;
        return result;
    }
    if (!picture->isJpeg)
        picture->file->setLimit(std::min(picture->file->size(), rawBound(stored) + ReadSlackBytes));
    const QImageIOHandler::Transformations turn =
        knownJpeg
            ? JpegLayout::exifTransformation(picture->file->readAt(jpeg.exifStart, jpeg.exifLength))
            : reader.transformation();
    const bool sideways = turnsSideways(turn);
    result.natural = sideways ? stored.transposed() : stored;
    const QSize fitted = fittedSize(result.natural, boxes);

    // Decode straight at (about) the shown size when the picture is larger: the scaled size is
    // given in the stored orientation, before the EXIF turn.
    const bool shrink = fitted.width() < result.natural.width();
    const QSize shownStored = sideways ? fitted.transposed() : fitted;
    QImage image;
    if (knownJpeg)
        image = JpegDecoder::decode(picture->file->readAllFromStart(),
                                    shrink ? JpegDecoder::reductionFor(stored, shownStored) : 1);
    // Qt's reader for every other picture, and for a JPEG that libjpeg-turbo would not decode;
    // such a JPEG is turned by the same orientation as the others.
    if (image.isNull()) {
        reader.setAutoTransform(!knownJpeg);
        if (shrink)
            reader.setScaledSize(sizeToDecode(stored, shownStored, picture->isJpeg));
        image = reader.read();
    }
    if (knownJpeg && !image.isNull())
        image = upright(std::move(image), turn);
    if (image.isNull()) {
        result.error = RuntimeError::InvalidPicture;
        return result;
    }
    if (image.size() != fitted)
        image = image.scaled(fitted, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    result.image = image;
    // A file rewritten while it was read may hold a mixture of two pictures.
    if (picture->file->stamp() != picture->stamp)
        result.stamp.reset();
    return result;
}

} // namespace PictureDecoder
