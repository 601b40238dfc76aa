#include "pictures/picturedecoder.h"

#include "pictures/byteorder.h"
#include "pictures/decodetime.h"
#include "pictures/heifimageplugin/hevccodedsize.h"
#include "pictures/jpegdecoder.h"
#include "pictures/jpeglayout.h"
#include "pictures/picturebudget.h"
#include "pictures/picturefile.h"
#include "pictures/picturememory.h"
#include "pictures/tiffdirectory.h"
#include "pictures/webpdecoder.h"
#include "runtime/runtimeerror.h"

#include <QFileInfo>
#include <QImageReader>
#include <QPainter>
#include <QTransform>

#include <algorithm>
#include <climits>
#include <memory>

namespace PictureDecoder {

namespace {

using PictureBudget::MaxPixels;
// Whole-picture buffer of a progressive JPEG: what a photo of 100 megapixels needs with three
// components at full resolution (4:4:4), 2 bytes a coefficient.
constexpr qint64 MaxJpegBufferBytes = 100'000'000LL * 3 * 2;
// A JPEG or a WebP of many megapixels in few bytes is a bomb, not a photo: even a picture of
// one flat colour takes a byte for every few hundred pixels.
constexpr qint64 BombCheckPixels = 16'000'000;
constexpr qint64 MaxPixelsPerByte = 1024;

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

// A TIFF's buffer for one strip or tile of its first picture, as the reader holds it while it
// decodes, bytes: a file may keep its whole picture in one strip. -1 when its header cannot
// be read.
qint64 tiffStripBytes(const PictureFile &file)
{
    const std::optional<TiffDirectory::Directory> directory = TiffDirectory::readFirst(
        [&file](qint64 offset, qint64 length) { return file.readAt(offset, length); });
    if (!directory)
        return -1;
    const auto value = [&directory](quint16 tag, qint64 missing) -> qint64 {
        const std::optional<TiffDirectory::Entry> entry = directory->find(tag);
        return entry ? qint64(entry->value) : missing;
    };
    const qint64 width = value(256, 0), height = value(257, 0), samples = value(277, 1);
    const qint64 rows = value(278, 0), tileWidth = value(322, 0), tileHeight = value(323, 0);
    qint64 bits = value(258, 1);
    // One bit depth a sample: of several, the first, stored apart when there are more than two.
    if (const auto entry = directory->find(258); entry && entry->type == 3 && entry->count > 2) {
        const QByteArray first = file.readAt(entry->value, 2);
        bits = first.size() == 2 ? ByteOrder::number(first, 0, 2, directory->little) : 16;
    }
    const qint64 lineBytes = (width * samples * std::max<qint64>(bits, 1) + 7) / 8;
    if (tileWidth > 0 && tileHeight > 0)
        return (tileWidth * samples * std::max<qint64>(bits, 1) + 7) / 8 * tileHeight;
    return lineBytes * (rows > 0 ? std::min(rows, height) : height);
}

// A WebP file's length as its RIFF header gives it, bytes; -1 for a file that is no WebP.
qint64 webpBytes(const PictureFile &file)
{
    const QByteArray start = file.readAt(0, 12);
    if (start.size() < 12 || !start.startsWith("RIFF") || start.mid(8, 4) != "WEBP")
        return -1;
    return qint64(ByteOrder::littleEndian(start, 4, 4)) + 8;
}

// A PNG that Qt's reader decodes row by row to a smaller size, holding only a few rows: one of
// 8-bit colours, with or without alpha, not interlaced. Others it reads whole.
bool streamsScaled(const PictureFile &file)
{
    const QByteArray header = file.readAt(0, 29);
    return header.size() == 29 && header.startsWith("\x89PNG") && header[24] == 8 &&
           (header[25] == 2 || header[25] == 6) && header[28] == 0;
}

// An open picture file and a reader on it, limited to what its picture needs.
struct OpenPicture
{
    std::optional<FileProbe::Stamp> stamp;
    std::unique_ptr<PictureFile> file;
    std::unique_ptr<QImageReader> reader;
    JpegLayout::Layout jpeg;
    bool isJpeg = false;
    qint64 webpBytes = -1; // a WebP file's length as its header gives it; -1 for no WebP
    WebpDecoder::Features webp;
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
    // A WebP is read whole into memory: no further than the file says it goes.
    picture.webpBytes = webpBytes(*picture.file);
    if (picture.webpBytes > 0) {
        picture.file->setLimit(std::min(size, picture.webpBytes));
        picture.webp = WebpDecoder::features(picture.file->readAt(0, 64));
    }
    // The format is the content's; a content too damaged to tell is tried as the name's
    // extension says.
    picture.reader = std::make_unique<QImageReader>(picture.file.get());
    if (!picture.reader->canRead()) {
        picture.file->seek(0);
        picture.reader = std::make_unique<QImageReader>(
            picture.file.get(), QFileInfo(path).suffix().toLower().toLatin1());
    }
    picture.reader->setAutoTransform(true);
    return picture;
}

// What decoding a picture takes: the pixels its decoder produces, the memory it holds at most
// meanwhile, bytes, the file's bytes read into memory included, and its work as the processor
// time it may take counts it.
struct Cost
{
    qint64 pixels = 0;
    qint64 bytes = 0;
    DecodeTime::Format format = DecodeTime::Format::Other;
    qint64 work = 0;
};

// What decoding a HEIF picture makes its decoder produce, as HevcCodedSize reads it from the
// file's boxes; empty when they cannot be read.
std::optional<HevcCodedSize::Decoded> heifCoding(PictureFile &file)
{
    const qint64 position = file.pos();
    std::optional<HevcCodedSize::Decoded> decoded = HevcCodedSize::primaryPicture(&file, 0);
    file.seek(position);
    return decoded;
}

// What libheif holds at most while it decodes a HEIF picture of pixels, coded as coded states,
// bytes. It hands the picture over in planes of red, green and blue and alpha (a byte a sample,
// two past 8 bits), which a grid's tiles are decoded into (a quarter of a byte a pixel more for
// the tiles decoding meanwhile); a picture coded whole is first the decoder's own planes and a
// copy of them (a quarter, a half or the whole of a sample more for each colour difference).
// A picture that libheif crops turns in another copy. A picture whose boxes cannot be read counts
// 8 bytes a pixel.
qint64 heifBytes(const std::optional<HevcCodedSize::Decoded> &coded, qint64 pixels)
{
    if (!coded)
        return pixels * 8;
    const int sampleBytes = coded->bits > 8 ? 2 : 1;
    constexpr int QuartersOfSamples[] = {4, 6, 8, 12}; // a pixel's, grey to 4:4:4
    const int decoderQuarters =
        QuartersOfSamples[coded->chroma < 0 ? 3 : std::min(coded->chroma, 3)];
    const qint64 planeQuarters = 4 * (3 + coded->auxiliaries);
    const bool whole = coded->pictures - coded->auxiliaries <= 1;
    const qint64 quarters =
        planeQuarters * (coded->cropped && !coded->transforms.isEmpty() ? 2 : 1) +
        (whole ? 2 * decoderQuarters : 1);
    return pixels * quarters * sampleBytes / 4;
}

// The cost of decoding picture, of stored size, to fitted (upright), a JPEG reduced by
// reduction while it decodes. Formats are read as Qt's readers and the HEIF plugin read them.
Cost costOf(OpenPicture &picture, const QSize &stored, int reduction, const QSize &fitted)
{
    Cost cost;
    cost.pixels = qint64(stored.width()) * stored.height();
    cost.work = cost.pixels;
    // The picture made to its shown size, and its copy for the screen.
    const qint64 shown = qint64(fitted.width()) * fitted.height() * 4 * 2;
    if (picture.isJpeg) {
        // Each scan of a progressive picture goes over all of it.
        const bool progressive = picture.jpeg.scans > 1;
        cost.format = progressive ? DecodeTime::Format::ProgressiveJpeg : DecodeTime::Format::Jpeg;
        if (progressive)
            cost.work = cost.pixels * picture.jpeg.scans;
        // The coefficients of a progressive picture, the picture decoded at its reduction and
        // turned upright.
        const qint64 decoded =
            qint64(stored.width() / reduction + 1) * (stored.height() / reduction + 1) * 4;
        cost.bytes = picture.jpeg.end + picture.jpeg.bufferBytes + 2 * decoded + shown;
        return cost;
    }
    const qint64 input = picture.file->size(); // a reader may hold all it reads
    if (picture.webp.size.isValid()) {
        cost.format = DecodeTime::Format::Webp;
        // Decoded at its shown size: the frame, and for an animation the canvas it is drawn on.
        cost.bytes =
            input + qint64(fitted.width()) * fitted.height() * 4 * (picture.webp.animated ? 2 : 1) +
            shown;
        return cost;
    }
    QImageReader &reader = *picture.reader;
    const QByteArray format = reader.format();
    if (format == "heic" || format == "avif") {
        cost.format = DecodeTime::Format::Heif;
        // Every coded picture (a grid's tiles) at the size its stream codes, each also counted
        // as the pixels its setting up is worth.
        const std::optional<HevcCodedSize::Decoded> coded = heifCoding(*picture.file);
        if (coded)
            cost.work = std::max(cost.pixels,
                                 coded->pixels + qint64(std::max(coded->pictures, coded->items)) *
                                                     PictureBudget::PicturePixels);
        // The plugin makes the shown picture straight from libheif's planes; one shown larger
        // than it is is made whole first.
        const bool enlarged = fitted.width() > stored.width() || fitted.height() > stored.height();
        cost.bytes =
            input + heifBytes(coded, cost.pixels) + (enlarged ? cost.pixels * 4 : 0) + shown;
        return cost;
    }
    const QImage::Format decodedFormat = reader.imageFormat();
    const qint64 depth = decodedFormat == QImage::Format_Invalid
                             ? 32
                             : QImage::toPixelFormat(decodedFormat).bitsPerPixel();
    qint64 whole = (cost.pixels * depth + 7) / 8;
    // Scaling smoothly first makes a copy in 32-bit premultiplied colours of anything else.
    const bool scalesAsIs = decodedFormat == QImage::Format_RGB32 ||
                            decodedFormat == QImage::Format_ARGB32_Premultiplied ||
                            decodedFormat == QImage::Format_RGBX64 ||
                            decodedFormat == QImage::Format_RGBA64_Premultiplied;
    qint64 copy = scalesAsIs ? 0 : cost.pixels * 4;
    if (format == "tiff") {
        cost.format = DecodeTime::Format::Tiff;
        const qint64 strip = tiffStripBytes(*picture.file);
        whole += strip < 0 ? whole : strip;
    } else if (format == "gif") {
        whole *= 2; // the frame and the picture it is drawn on
    } else if (format == "png") {
        cost.format = DecodeTime::Format::Png;
        if (streamsScaled(*picture.file)) {
            whole = qint64(stored.width()) * 8 * 4; // a few rows at a time
            copy = 0;
        }
    }
    cost.bytes = input + whole + copy + shown;
    return cost;
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

// The picture brought to size. Made larger (a JPEG decoded at libjpeg's reduction just under
// the shown size), it is drawn at the size with the same bilinear filter that Qt's smooth scale
// enlarges with, for two thirds of its processor time; made smaller, Qt's scale averages the
// area each pixel covers.
QImage scaledTo(const QImage &image, const QSize &size)
{
    const bool enlarged = size.width() >= image.width() && size.height() >= image.height();
    const QImage::Format format = image.format();
    if (!enlarged ||
        (format != QImage::Format_RGB32 && format != QImage::Format_ARGB32_Premultiplied))
        return image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    QImage scaled(size, format);
    if (scaled.isNull())
        return {};
    QPainter painter(&scaled);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(QRect(QPoint(0, 0), size), image);
    return scaled;
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
        result.image = scaledTo(picture.image, fitted);
    return result;
}

Picture decode(const QString &path, const Boxes &boxes, const Sharing &sharing)
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
    if (sharing.opened && picture->stamp)
        sharing.opened(*picture->stamp);
    picture->file->setStop(sharing.stop);
    const qint64 capacity =
        sharing.memory ? sharing.memory->capacity() : PictureMemory::DefaultCapacity;
    // A file the reader holds whole: a WebP longer than any real photo's is no photo.
    if (picture->webpBytes > capacity / 4) {
        result.error = RuntimeError::InvalidPicture;
        return result;
    }
    QImageReader &reader = *picture->reader;
    const JpegLayout::Layout &jpeg = picture->jpeg;
    // A JPEG's size and turn come from its layout, read already: Qt's reader would read all
    // its segments again, were they tens of megabytes of metadata.
    const bool knownJpeg = picture->isJpeg && jpeg.width > 0 && jpeg.height > 0;
    // A WebP's size comes from its header: Qt's reader would read the whole file for it, and
    // for an animation allocate its canvas.
    const bool webp = picture->webp.size.isValid();
    const QSize stored = knownJpeg ? QSize(jpeg.width, jpeg.height)
                         : webp    ? picture->webp.size
                                   : reader.size();
    const qint64 pixels = qint64(stored.width()) * stored.height();
    const qint64 bytes = picture->isJpeg ? jpeg.end : picture->webpBytes;
    const bool refused = (!webp && !reader.canRead()) || !stored.isValid() || stored.isEmpty() ||
                         pixels > MaxPixels ||
                         ((picture->isJpeg || webp) && pixels > BombCheckPixels &&
                          pixels > MaxPixelsPerByte * bytes) ||
                         (picture->isJpeg && (jpeg.verdict == JpegLayout::Verdict::TooCostly ||
                                              jpeg.bufferBytes > MaxJpegBufferBytes));
    if (refused) {
        result.error = RuntimeError::InvalidPicture;
        return result;
    }
    if (!picture->isJpeg)
        picture->file->setLimit(std::min(picture->file->size(), rawBound(stored) + ReadSlackBytes));

    const QImageIOHandler::Transformations turn =
        knownJpeg
            ? JpegLayout::exifTransformation(
                  jpeg.bytes.isEmpty() ? picture->file->readAt(jpeg.exifStart, jpeg.exifLength)
                                       : jpeg.bytes.mid(jpeg.exifStart, jpeg.exifLength))
        : webp ? QImageIOHandler::TransformationNone
               : reader.transformation();
    const bool sideways = turnsSideways(turn);
    result.natural = sideways ? stored.transposed() : stored;
    const QSize fitted = fittedSize(result.natural, boxes);

    // Decode straight at (about) the shown size when the picture is larger: the scaled size is
    // given in the stored orientation, before the EXIF turn.
    const bool shrink = fitted.width() < result.natural.width();
    const QSize shownStored = sideways ? fitted.transposed() : fitted;
    const int reduction =
        shrink && picture->isJpeg ? JpegDecoder::reductionFor(stored, shownStored) : 1;

    // The cost is known before anything is allocated: a picture that would take more than the
    // program's decodes may take at once is refused, one that would take more than is free
    // waits for its share, or, ahead of its turn, is left to its turn.
    const Cost cost = costOf(*picture, stored, reduction, fitted);
    PictureMemory::Share share;
    if (cost.pixels > MaxPixels || cost.bytes > capacity) {
        result.error = RuntimeError::InvalidPicture;
        return result;
    }
    // Its processor time grows with its work, at the rate this machine decodes its format.
    const DecodeTime ownTime;
    const DecodeTime &time = sharing.time ? *sharing.time : ownTime;
    if (sharing.stop)
        sharing.stop->setBudget(time.budgetFor(cost.format, cost.work));
    if (sharing.memory) {
        share = sharing.ahead ? sharing.memory->takeAhead(cost.bytes)
                              : sharing.memory->take(cost.bytes, sharing.stop);
        if (!share) {
            if (sharing.ahead)
                result.postponed = true;
            else
                result.error = RuntimeError::InvalidPicture;
            return result;
        }
    }
    // No picture a reader allocates is larger than the program's decodes may take at once.
    reader.setAllocationLimit(int(std::min<qint64>(capacity >> 20, INT_MAX)));

    QImage image;
    if (knownJpeg)
        image = JpegDecoder::decode(picture->jpeg.bytes.isEmpty() ? picture->file->readAllFromStart()
                                                                  : std::move(picture->jpeg.bytes),
                                    reduction);
    else if (webp)
        image = WebpDecoder::decode(picture->file->readAllFromStart(), shrink ? fitted : stored,
                                    sharing.stop);
    // Qt's reader for every other picture, and for a JPEG that libjpeg-turbo would not decode;
    // such a JPEG is turned by the same orientation as the others.
    if (image.isNull() && !webp) {
        reader.setAutoTransform(!knownJpeg);
        if (shrink)
            reader.setScaledSize(sizeToDecode(stored, shownStored, picture->isJpeg));
        image = reader.read();
    }
    if (knownJpeg && !image.isNull())
        image = upright(std::move(image), turn);
    // A decode told to stop gives up: what it read may be a part of the picture.
    if (image.isNull() || picture->file->stopped()) {
        result.error = RuntimeError::InvalidPicture;
        return result;
    }
    if (image.size() != fitted)
        image = scaledTo(image, fitted);
    result.image = image;
    if (sharing.time && sharing.stop)
        sharing.time->record(cost.format, cost.work, sharing.stop->spent());
    // A file rewritten while it was read may hold a mixture of two pictures.
    if (picture->file->stamp() != picture->stamp)
        result.stamp.reset();
    return result;
}

} // namespace PictureDecoder
