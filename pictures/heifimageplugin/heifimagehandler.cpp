#include "pictures/heifimageplugin/heifimagehandler.h"

#include "pictures/heifimageplugin/hevccodedsize.h"
#include "pictures/heifimageplugin/libheif.h"
#include "pictures/picturebudget.h"

#include <QImage>
#include <QVariant>

#include <algorithm>
#include <cstring>

// Where libheif reads the file: the device, from the position it had when reading started.
struct HeifStream
{
    QIODevice *device = nullptr;
    qint64 origin = 0; // bytes
};

namespace {

// As for every other picture: a larger one costs too much time and memory to decode (a HEIF
// picture is decoded whole, 4 bytes a pixel).
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
    m_stream = std::make_unique<HeifStream>(HeifStream{source, origin});
    m_context = libheif()->heif_context_alloc();
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
    const bool alpha = libheif()->heif_image_handle_has_alpha_channel(m_primary);
    heif_decoding_options *options = libheif()->heif_decoding_options_alloc();
    options->convert_hdr_to_8bit = 1;
    heif_image *decoded = nullptr;
    // Four bytes a pixel: the smooth scale takes them as they are.
    const heif_error error = libheif()->heif_decode_image(m_primary, &decoded, heif_colorspace_RGB,
                                                          heif_chroma_interleaved_RGBA, options);
    libheif()->heif_decoding_options_free(options);
    if (error.code != heif_error_Ok || !decoded) {
        if (decoded)
            libheif()->heif_image_release(decoded);
        return false;
    }
    int stride = 0;
    const uint8_t *pixels =
        libheif()->heif_image_get_plane_readonly(decoded, heif_channel_interleaved, &stride);
    const QSize size(libheif()->heif_image_get_width(decoded, heif_channel_interleaved),
                     libheif()->heif_image_get_height(decoded, heif_channel_interleaved));
    if (!pixels || size.isEmpty() ||
        libheif()->heif_image_get_bits_per_pixel_range(decoded, heif_channel_interleaved) != 8) {
        libheif()->heif_image_release(decoded);
        return false;
    }
    // The decoded pixels stay libheif's until the wrapping image lets them go.
    const QImage whole(pixels, size.width(), size.height(), stride,
                       alpha ? QImage::Format_RGBA8888 : QImage::Format_RGBX8888, freeDecoded,
                       decoded);
    const QImage::Format shown = alpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32;
    if (m_scaledSize.isValid() && !m_scaledSize.isEmpty() && m_scaledSize != size)
        *image = whole.scaled(m_scaledSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                     .convertToFormat(shown);
    else
        *image = whole.convertToFormat(shown);
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
