#include "heiffiles.h"

#include "pictures/byteorder.h"

#include <QList>
#include <QtEndian>

#include <libheif/heif.h>

#include <cstring>
#include <stdexcept>

namespace TestFiles {

namespace {

// One use of libheif, from heif_init to heif_deinit: its context, and what the use made in it,
// released when the use ends.
struct HeifUse
{
    HeifUse()
    {
        heif_init(nullptr);
        context = heif_context_alloc();
    }
    ~HeifUse()
    {
        if (options)
            heif_encoding_options_free(options);
        if (picture)
            heif_image_release(picture);
        if (primary)
            heif_image_handle_release(primary);
        if (encoder)
            heif_encoder_release(encoder);
        heif_context_free(context);
        heif_deinit();
    }
    HeifUse(const HeifUse &) = delete;
    HeifUse &operator=(const HeifUse &) = delete;

    heif_context *context = nullptr;
    heif_encoder *encoder = nullptr;
    heif_encoding_options *options = nullptr;
    heif_image_handle *primary = nullptr;
    heif_image *picture = nullptr;
};

} // namespace

QByteArray encodeHeif(const QImage &image, int orientation, bool av1, int quality)
{
    // 8-bit RGB, RGBA with alpha, or RGB of 10 bits from 16-bit channels.
    const bool alpha = image.hasAlphaChannel();
    const bool deep = !alpha && image.depth() == 64;
    const QImage rgb = image.convertToFormat(alpha  ? QImage::Format_RGBA8888
                                             : deep ? QImage::Format_RGBX64
                                                    : QImage::Format_RGB888);
    HeifUse heif;
    heif.options = heif_encoding_options_alloc();
    QByteArray bytes;
    heif_writer writer = {1, [](heif_context *, const void *data, size_t size, void *out) {
                              static_cast<QByteArray *>(out)->append(
                                  static_cast<const char *>(data), qsizetype(size));
                              return heif_error{heif_error_Ok, heif_suberror_Unspecified, ""};
                          }};
    bool done = heif_context_get_encoder_for_format(
                    heif.context, av1 ? heif_compression_AV1 : heif_compression_HEVC, &heif.encoder)
                        .code == heif_error_Ok &&
                heif_image_create(rgb.width(), rgb.height(), heif_colorspace_RGB,
                                  alpha  ? heif_chroma_interleaved_RGBA
                                  : deep ? heif_chroma_interleaved_RRGGBB_LE
                                         : heif_chroma_interleaved_RGB,
                                  &heif.picture)
                        .code == heif_error_Ok &&
                heif_image_add_plane(heif.picture, heif_channel_interleaved, rgb.width(),
                                     rgb.height(), deep ? 10 : 8)
                        .code == heif_error_Ok;
    if (done) {
        int stride = 0;
        uint8_t *pixels = heif_image_get_plane(heif.picture, heif_channel_interleaved, &stride);
        for (int y = 0; y < rgb.height(); ++y) {
            uint8_t *line = pixels + qsizetype(y) * stride;
            if (!deep) {
                std::memcpy(line, rgb.constScanLine(y), rgb.width() * (alpha ? 4 : 3));
                continue;
            }
            const auto *source = reinterpret_cast<const quint16 *>(rgb.constScanLine(y));
            for (int x = 0; x < rgb.width(); ++x)
                for (int channel = 0; channel < 3; ++channel)
                    qToLittleEndian<quint16>(source[4 * x + channel] >> 6,
                                             line + 2 * (3 * x + channel));
        }
        heif_encoder_set_lossy_quality(heif.encoder, quality);
        heif.options->image_orientation = heif_orientation(orientation);
        done = heif_context_encode_image(heif.context, heif.picture, heif.encoder, heif.options,
                                         nullptr)
                       .code == heif_error_Ok &&
               heif_context_write(heif.context, &writer, &bytes).code == heif_error_Ok;
    }
    if (!done)
        throw std::runtime_error("cannot encode a HEIF test picture");
    return bytes;
}

QImage decodeHeif(const QByteArray &file)
{
    HeifUse heif;
    QImage decoded;
    if (heif_context_read_from_memory_without_copy(heif.context, file.constData(),
                                                   size_t(file.size()), nullptr)
                .code == heif_error_Ok &&
        heif_context_get_primary_image_handle(heif.context, &heif.primary).code == heif_error_Ok &&
        heif_decode_image(heif.primary, &heif.picture, heif_colorspace_RGB,
                          heif_chroma_interleaved_RGBA, nullptr)
                .code == heif_error_Ok) {
        int stride = 0;
        const uint8_t *pixels =
            heif_image_get_plane_readonly(heif.picture, heif_channel_interleaved, &stride);
        decoded = QImage(pixels, heif_image_get_width(heif.picture, heif_channel_interleaved),
                         heif_image_get_height(heif.picture, heif_channel_interleaved), stride,
                         QImage::Format_RGBA8888)
                      .convertToFormat(QImage::Format_ARGB32_Premultiplied);
    }
    return decoded;
}

namespace {

using ByteOrder::bigEndian;

// The contents of the first box of type in data (after its header), and where they start.
QByteArray box(const QByteArray &data, const char *type, qsizetype *start = nullptr)
{
    for (qsizetype at = 0; at + 8 <= data.size();) {
        const qsizetype size = bigEndian(data, at, 4);
        if (size < 8 || at + size > data.size())
            break;
        if (data.mid(at + 4, 4) == type) {
            if (start)
                *start = at + 8;
            return data.mid(at + 8, size - 8);
        }
        at += size;
    }
    throw std::runtime_error("no such box in the HEIF tile");
}

QByteArray be(quint32 value, int bytes)
{
    QByteArray out;
    for (int i = bytes - 1; i >= 0; --i)
        out.append(char(value >> (8 * i) & 0xFF));
    return out;
}

QByteArray makeBox(const char *type, const QByteArray &contents)
{
    return be(quint32(contents.size() + 8), 4) + QByteArray(type, 4) + contents;
}

QByteArray fullBox(const char *type, int version, quint32 flags, const QByteArray &contents)
{
    return makeBox(type, be(quint32(version) << 24 | flags, 4) + contents);
}

} // namespace

QByteArray heifGrid(const QByteArray &tile, int rows, int columns, const QSize &stated)
{
    return heifGrid(QList<QByteArray>{tile}, rows, columns, stated);
}

QByteArray heifGrid(const QList<QByteArray> &tiles, int rows, int columns, const QSize &stated,
                    const QSize &shown)
{
    // Each tile's coded picture: its configuration box and the data of its one item.
    QList<QByteArray> configurations, coded;
    for (const QByteArray &tile : tiles) {
        const QByteArray meta = box(tile, "meta").mid(4);
        configurations << makeBox("hvcC", box(box(box(meta, "iprp"), "ipco"), "hvcC"));
        const QByteArray iloc = box(meta, "iloc");
        const int version = quint8(iloc[0]);
        const int offsetSize = quint8(iloc[4]) >> 4, lengthSize = quint8(iloc[4]) & 15;
        const int baseSize = quint8(iloc[5]) >> 4, indexSize = version ? quint8(iloc[5]) & 15 : 0;
        // Past the header and the item count: the first item's number, construction and
        // reference.
        qsizetype at = 6 + (version == 2 ? 4 : 2) * 2 + (version ? 2 : 0) + 2;
        const quint32 base = baseSize ? bigEndian(iloc, at, baseSize) : 0;
        at += baseSize + 2 + indexSize;
        const quint32 offset = base + bigEndian(iloc, at, offsetSize);
        coded << tile.mid(offset, bigEndian(iloc, at + offsetSize, lengthSize));
    }
    // Property numbers have seven bits.
    if (tiles.isEmpty() || tiles.size() > 120)
        throw std::runtime_error("a HEIF grid takes 1 to 120 distinct tiles");
    const int distinct = int(tiles.size());

    const int count = rows * columns;
    const QSize whole =
        shown.isValid() ? shown : QSize(columns * stated.width(), rows * stated.height());
    const quint32 width = quint32(whole.width()), height = quint32(whole.height());
    const bool wide = width > 0xFFFF || height > 0xFFFF;
    const QByteArray gridData = QByteArray(1, '\0') + char(wide ? 1 : 0) + char(rows - 1) +
                                char(columns - 1) + be(width, wide ? 4 : 2) +
                                be(height, wide ? 4 : 2);
    // Item 1 is the grid, items 2 and on its tiles; properties 1 to distinct are the tiles'
    // configurations, then the tile's size and the grid's.
    QByteArray infos = be(quint32(count + 1), 2) +
                       fullBox("infe", 2, 0, be(1, 2) + be(0, 2) + "grid" + QByteArray(1, '\0'));
    QByteArray references = be(1, 2) + be(quint32(count), 2);
    QByteArray associations = be(quint32(count + 1), 4) + be(1, 2) + char(1) + char(distinct + 2);
    for (int i = 0; i < count; ++i) {
        infos +=
            fullBox("infe", 2, 1, be(quint32(i + 2), 2) + be(0, 2) + "hvc1" + QByteArray(1, '\0'));
        references += be(quint32(i + 2), 2);
        associations +=
            be(quint32(i + 2), 2) + char(2) + char(0x80 | (i % distinct + 1)) + char(distinct + 1);
    }
    const QByteArray properties =
        makeBox("ipco", configurations.join() +
                            fullBox("ispe", 0, 0, be(stated.width(), 4) + be(stated.height(), 4)) +
                            fullBox("ispe", 0, 0, be(width, 4) + be(height, 4))) +
        fullBox("ipma", 0, 0, associations);
    // The data: the grid's, then each distinct tile's once.
    QList<quint32> codedAt;
    quint32 dataBytes = quint32(gridData.size());
    for (const QByteArray &data : std::as_const(coded)) {
        codedAt << dataBytes;
        dataBytes += quint32(data.size());
    }
    const auto locations = [&](quint32 mdat) {
        QByteArray entries = be(quint32(count + 1), 2);
        for (int i = 0; i <= count; ++i) {
            const bool grid = i == 0;
            const int tile = grid ? 0 : (i - 1) % distinct;
            entries += be(quint32(i + 1), 2) + be(0, 2) + be(0, 2) + be(1, 2) +
                       be(mdat + (grid ? 0 : codedAt[tile]), 4) +
                       be(quint32(grid ? gridData.size() : coded[tile].size()), 4);
        }
        return fullBox("iloc", 1, 0, QByteArray("\x44\x00", 2) + entries);
    };
    const QByteArray ftyp = makeBox("ftyp", QByteArray("heic") + be(0, 4) + "mif1heic");
    const auto metaBox = [&](quint32 mdat) {
        return fullBox("meta", 0, 0,
                       fullBox("hdlr", 0, 0, be(0, 4) + "pict" + QByteArray(13, '\0')) +
                           fullBox("pitm", 0, 0, be(1, 2)) + fullBox("iinf", 0, 0, infos) +
                           fullBox("iref", 0, 0, makeBox("dimg", references)) +
                           makeBox("iprp", properties) + locations(mdat));
    };
    const quint32 mdat = quint32(ftyp.size() + metaBox(0).size() + 8);
    return ftyp + metaBox(mdat) + makeBox("mdat", gridData + coded.join());
}

} // namespace TestFiles
