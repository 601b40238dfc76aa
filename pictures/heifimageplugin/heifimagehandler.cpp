#include "pictures/heifimageplugin/heifimagehandler.h"

#include "pictures/heifimageplugin/heifplanes.h"
#include "pictures/heifimageplugin/hevccodedsize.h"
#include "pictures/heifimageplugin/libheif.h"
#include "pictures/picturebudget.h"

#include <QImage>
#include <QThread>
#include <QTransform>
#include <QVariant>

#include <algorithm>
#include <cstring>
#include <memory>

// Where libheif reads the file: the device, from the position it had when reading started.
struct HeifStream
{
    QIODevice *device = nullptr;
    qint64 origin = 0; // bytes
};

namespace {

// As for every other picture: a larger one costs too much time and memory to decode (a HEIF
// picture is decoded whole).
using PictureBudget::MaxPixels;

// libheif reads through these; it asks for no byte past what the file's boxes point at.
int64_t streamPosition(void *userdata)
{
    auto *stream = static_cast<HeifStream *>(userdata);
    return stream->device->pos() - stream->origin;
}

int streamRead(void *data, size_t size, void *userdata)
{
    // libheif reads only what it was told is there, and takes a failing read for a broken
    // library: bytes that are not there any more (a decode told to stop, a file cut short
    // meanwhile) read as zeros, and the next wait for a size tells the end.
    auto *stream = static_cast<HeifStream *>(userdata);
    const qint64 got =
        std::max<qint64>(0, stream->device->read(static_cast<char *>(data), qint64(size)));
    if (got < qint64(size))
        std::memset(static_cast<char *>(data) + got, 0, size - size_t(got));
    return 0;
}

int streamSeek(int64_t position, void *userdata)
{
    auto *stream = static_cast<HeifStream *>(userdata);
    return position >= 0 && stream->device->seek(stream->origin + position) ? 0 : 1;
}

// The file is complete: a size past its end never comes.
heif_reader_grow_status streamWaitForSize(int64_t size, void *userdata)
{
    auto *stream = static_cast<HeifStream *>(userdata);
    return size <= stream->device->size() - stream->origin
               ? heif_reader_grow_status_size_reached
               : heif_reader_grow_status_size_beyond_eof;
}

const heif_reader StreamReader = {1, streamPosition, streamRead, streamSeek, streamWaitForSize};

void freeDecoded(void *decoded)
{
    libheif()->heif_image_release(static_cast<heif_image *>(decoded));
}

struct ReleaseImage
{
    void operator()(heif_image *image) const { libheif()->heif_image_release(image); }
};
using DecodedImage = std::unique_ptr<heif_image, ReleaseImage>;

// The picture as libheif decodes it in colorspace and chroma, turned, mirrored and cropped as
// the file says unless told not to; null when it cannot.
DecodedImage decodeAs(heif_image_handle *primary, heif_colorspace colorspace, heif_chroma chroma,
                      bool transformed = true)
{
    heif_decoding_options *options = libheif()->heif_decoding_options_alloc();
    options->convert_hdr_to_8bit = 1;
    options->ignore_transformations = transformed ? 0 : 1;
    heif_image *decoded = nullptr;
    const heif_error error =
        libheif()->heif_decode_image(primary, &decoded, colorspace, chroma, options);
    libheif()->heif_decoding_options_free(options);
    DecodedImage image(decoded);
    if (error.code != heif_error_Ok)
        image.reset();
    return image;
}

// The picture turned and mirrored as transforms say, in their order, as libheif turns it.
QImage transformed(QImage image, const QList<HevcCodedSize::Transform> &transforms)
{
    using Transform = HevcCodedSize::Transform;
    for (const Transform transform : transforms) {
        switch (transform) {
        case Transform::QuarterTurn:
            image = image.transformed(QTransform().rotate(-90));
            break;
        case Transform::HalfTurn:
            image = image.transformed(QTransform().rotate(180));
            break;
        case Transform::ThreeQuarterTurn:
            image = image.transformed(QTransform().rotate(90));
            break;
        case Transform::MirrorAxis0:
            image = image.mirrored(false, true);
            break;
        case Transform::MirrorAxis1:
            image = image.mirrored(true, false);
            break;
        }
    }
    return image;
}

// A plane of a decoded picture, without data when it has none.
HeifPlanes::Plane planeOf(const heif_image *image, heif_channel channel)
{
    HeifPlanes::Plane plane;
    if (!libheif()->heif_image_has_channel(image, channel))
        return plane;
    int stride = 0;
    plane.data = libheif()->heif_image_get_plane_readonly(image, channel, &stride);
    plane.stride = stride;
    plane.size = QSize(libheif()->heif_image_get_width(image, channel),
                       libheif()->heif_image_get_height(image, channel));
    plane.bits = libheif()->heif_image_get_bits_per_pixel_range(image, channel);
    // Samples of more than 8 bits take two bytes each; none takes more.
    const int storage = libheif()->heif_image_get_bits_per_pixel(image, channel);
    if (!plane.data || storage != (plane.bits > 8 ? 16 : 8))
        plane.data = nullptr;
    return plane;
}

// The HEIF brand a file's start declares, among those libheif decodes: "avif" for an AV1
// picture, another brand for HEVC; empty for a file that is no HEIF picture. Read without
// libheif, so that telling a JPEG from a HEIF picture does not load it.
QByteArray heifBrand(const QByteArray &start)
{
    static const QList<QByteArray> hevc = {"heic", "heix", "heim", "heis", "hevc",
                                           "hevx", "hevm", "hevs", "mif1", "msf1"};
    if (start.size() < 16 || start.mid(4, 4) != "ftyp")
        return {};
    const qsizetype boxSize = qsizetype(quint8(start[0])) << 24 | quint8(start[1]) << 16 |
                              quint8(start[2]) << 8 | quint8(start[3]);
    const qsizetype end = std::min(start.size(), boxSize);
    QByteArray found;
    // The major brand, then the compatible brands after the minor version.
    for (qsizetype at = 8; at + 4 <= end; at += at == 8 ? 8 : 4) {
        const QByteArray brand = start.mid(at, 4);
        if (brand == "avif" || brand == "avis")
            return "avif";
        if (found.isEmpty() && hevc.contains(brand))
            found = brand;
    }
    return found;
}

} // namespace

HeifImageHandler::HeifImageHandler() = default;

HeifImageHandler::~HeifImageHandler()
{
    if (m_primary)
        libheif()->heif_image_handle_release(m_primary);
    if (m_context)
        libheif()->heif_context_free(m_context);
}

bool HeifImageHandler::canRead(QIODevice *device)
{
    if (!device || !device->isReadable())
        return false;
    // The file type box, with its brands, comes first and is short.
    return !heifBrand(device->peek(64)).isEmpty();
}

bool HeifImageHandler::canRead() const
{
    // Once the boxes are read the device is no longer at the file's start.
    if (m_state != State::Unread)
        return m_state == State::Ready;
    const QByteArray brand = device() ? heifBrand(device()->peek(64)) : QByteArray();
    if (brand.isEmpty())
        return false;
    setFormat(brand == "avif" ? "avif" : "heic");
    return true;
}

bool HeifImageHandler::load() const
{
    if (m_state != State::Unread)
        return m_state == State::Ready;
    m_state = State::Failed;
    QIODevice *source = device();
    if (!source || source->isSequential() || !canRead(source) || !libheif())
        return false;
    const qint64 origin = source->pos();
    // The decoder allocates and decodes the coded pictures, which may be far larger and far more
    // than the stated picture: every tile of a grid counts at its coded size, and setting up
    // each costs as much as decoding many pixels. Told before libheif reads the file's boxes,
    // which takes a time that grows with the square of the file's items.
    const std::optional<HevcCodedSize::Decoded> decoded =
        HevcCodedSize::primaryPicture(source, origin);
    if (!decoded ||
        decoded->pixels +
                qint64(std::max(decoded->pictures, decoded->items)) * PictureBudget::PicturePixels >
            MaxPixels ||
        !source->seek(origin))
        return false;
    m_coded = decoded;
    m_stream = std::make_unique<HeifStream>(HeifStream{source, origin});
    m_context = libheif()->heif_context_alloc();
    // A grid's tiles are decoded side by side, one on each core.
    if (m_context)
        libheif()->heif_context_set_max_decoding_threads(m_context, QThread::idealThreadCount());
    if (!m_context ||
        libheif()
                ->heif_context_read_from_reader(m_context, &StreamReader, m_stream.get(), nullptr)
                .code != heif_error_Ok ||
        libheif()->heif_context_get_primary_image_handle(m_context, &m_primary).code !=
            heif_error_Ok)
        return false;
    // The size after the file's own crop, rotation and mirror; and the one its boxes state
    // before any crop (turned with the picture).
    const QSize size(libheif()->heif_image_handle_get_width(m_primary),
                     libheif()->heif_image_handle_get_height(m_primary));
    const QSize uncropped(libheif()->heif_image_handle_get_ispe_width(m_primary),
                          libheif()->heif_image_handle_get_ispe_height(m_primary));
    const QSize stated = uncropped.isEmpty() ? size : uncropped;
    if (size.isEmpty() || qint64(size.width()) * size.height() > MaxPixels ||
        qint64(stated.width()) * stated.height() > MaxPixels)
        return false;
    m_size = size;
    m_state = State::Ready;
    return true;
}

bool HeifImageHandler::read(QImage *image)
{
    if (!load())
        return false;
    // An enlarged picture is made from the whole one.
    const QSize size =
        m_scaledSize.isValid() && !m_scaledSize.isEmpty() ? m_scaledSize.boundedTo(m_size) : m_size;
    const Planar planar = readPlanes(image, size);
    if (planar == Planar::Unusable)
        return readConverted(image, size);
    if (planar == Planar::Failed)
        return false;
    if (image->size() != m_scaledSize && m_scaledSize.isValid() && !m_scaledSize.isEmpty())
        *image = image->scaled(m_scaledSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return !image->isNull();
}

HeifImageHandler::Planar HeifImageHandler::readPlanes(QImage *image, const QSize &size)
{
    // Turned here on the picture made small, unless libheif must crop it first.
    const QList<HevcCodedSize::Transform> transforms =
        m_coded && !m_coded->cropped ? m_coded->transforms : QList<HevcCodedSize::Transform>();
    const bool sideways =
        std::count_if(transforms.begin(), transforms.end(),
                      [](auto transform) {
                          return transform == HevcCodedSize::Transform::QuarterTurn ||
                                 transform == HevcCodedSize::Transform::ThreeQuarterTurn;
                      }) %
        2;
    // Asked for no colours in particular, libheif hands its own planes over as they are: red,
    // green and blue (libheif 1.15 converts every coded picture to them), or luma and colour
    // differences, or a grey picture's luma.
    const DecodedImage decoded =
        decodeAs(m_primary, heif_colorspace_undefined, heif_chroma_undefined, transforms.isEmpty());
    if (!decoded)
        return Planar::Failed;
    const heif_colorspace colorspace = libheif()->heif_image_get_colorspace(decoded.get());
    const heif_chroma chroma = libheif()->heif_image_get_chroma_format(decoded.get());
    HeifPlanes::Planes planes;
    if (colorspace == heif_colorspace_RGB && chroma == heif_chroma_444) {
        // Green, blue and red as luma and differences of the identity matrix.
        planes.y = planeOf(decoded.get(), heif_channel_G);
        planes.cb = planeOf(decoded.get(), heif_channel_B);
        planes.cr = planeOf(decoded.get(), heif_channel_R);
        planes.colour = {0, 2, true};
    } else if ((colorspace == heif_colorspace_YCbCr &&
                (chroma == heif_chroma_420 || chroma == heif_chroma_422 ||
                 chroma == heif_chroma_444)) ||
               colorspace == heif_colorspace_monochrome) {
        planes.y = planeOf(decoded.get(), heif_channel_Y);
        if (colorspace == heif_colorspace_YCbCr) {
            planes.cb = planeOf(decoded.get(), heif_channel_Cb);
            planes.cr = planeOf(decoded.get(), heif_channel_Cr);
        }
        heif_color_profile_nclx *nclx = nullptr;
        if (libheif()->heif_image_get_nclx_color_profile(decoded.get(), &nclx).code ==
                heif_error_Ok &&
            nclx) {
            planes.colour = {int(nclx->matrix_coefficients), int(nclx->color_primaries),
                             nclx->full_range_flag != 0};
            libheif()->heif_nclx_color_profile_free(nclx);
        }
    } else {
        return Planar::Unusable;
    }
    planes.alpha = planeOf(decoded.get(), heif_channel_Alpha);
    planes.premultiplied = libheif()->heif_image_handle_is_premultiplied_alpha(m_primary);
    if (!planes.y.data)
        return Planar::Unusable;
    // The size asked for, before the picture is turned; the planes' own when it is as large.
    const QSize whole = planes.y.size;
    QSize made = sideways ? size.transposed() : size;
    if (made.width() >= whole.width() || made.height() >= whole.height())
        made = whole;
    *image = HeifPlanes::shown(planes, made, QThread::idealThreadCount());
    if (image->isNull())
        return Planar::Unusable;
    *image = transformed(std::move(*image), transforms);
    return Planar::Read;
}

bool HeifImageHandler::readConverted(QImage *image, const QSize &size)
{
    const bool alpha = libheif()->heif_image_handle_has_alpha_channel(m_primary);
    // Four bytes a pixel: the smooth scale takes them as they are.
    DecodedImage decoded = decodeAs(m_primary, heif_colorspace_RGB, heif_chroma_interleaved_RGBA);
    if (!decoded)
        return false;
    int stride = 0;
    const uint8_t *pixels =
        libheif()->heif_image_get_plane_readonly(decoded.get(), heif_channel_interleaved, &stride);
    const QSize whole(libheif()->heif_image_get_width(decoded.get(), heif_channel_interleaved),
                      libheif()->heif_image_get_height(decoded.get(), heif_channel_interleaved));
    if (!pixels || whole.isEmpty() ||
        libheif()->heif_image_get_bits_per_pixel_range(decoded.get(), heif_channel_interleaved) !=
            8)
        return false;
    // The decoded pixels stay libheif's until the wrapping image lets them go.
    const QImage picture(pixels, whole.width(), whole.height(), stride,
                         alpha ? QImage::Format_RGBA8888 : QImage::Format_RGBX8888, freeDecoded,
                         decoded.release());
    const QImage::Format shown = alpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32;
    if (size != whole)
        *image = picture.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                     .convertToFormat(shown);
    else
        *image = picture.convertToFormat(shown);
    return !image->isNull();
}

QVariant HeifImageHandler::option(ImageOption option) const
{
    if (option == Size && load())
        return m_size;
    if (option == ScaledSize)
        return m_scaledSize;
    return {};
}

void HeifImageHandler::setOption(ImageOption option, const QVariant &value)
{
    if (option == ScaledSize)
        m_scaledSize = value.toSize();
}

bool HeifImageHandler::supportsOption(ImageOption option) const
{
    return option == Size || option == ScaledSize;
}
