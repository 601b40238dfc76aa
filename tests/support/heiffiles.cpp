#include "heiffiles.h"

#include "pictures/byteorder.h"

#include <QList>
#include <QtEndian>

#include <libheif/heif.h>

#include <cstring>
#include <stdexcept>

namespace TestFiles {

QByteArray encodeHeif(const QImage &image, int orientation, bool av1)
{
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    heif_init(nullptr);
    heif_context *context = heif_context_alloc();
    heif_encoder *encoder = nullptr;
    heif_image *picture = nullptr;
    heif_encoding_options *options = heif_encoding_options_alloc();
    QByteArray bytes;
    heif_writer writer = {1, [](heif_context *, const void *data, size_t size, void *out) {
                              static_cast<QByteArray *>(out)->append(
                                  static_cast<const char *>(data), qsizetype(size));
                              return heif_error{heif_error_Ok, heif_suberror_Unspecified, ""};
                          }};
    bool done =
        heif_context_get_encoder_for_format(
            context, av1 ? heif_compression_AV1 : heif_compression_HEVC, &encoder)
                .code == heif_error_Ok &&
        heif_image_create(rgb.width(), rgb.height(), heif_colorspace_RGB,
                          heif_chroma_interleaved_RGB, &picture)
                .code == heif_error_Ok &&
        heif_image_add_plane(picture, heif_channel_interleaved, rgb.width(), rgb.height(), 8)
                .code == heif_error_Ok;
    if (done) {
        int stride = 0;
        uint8_t *pixels = heif_image_get_plane(picture, heif_channel_interleaved, &stride);
        for (int y = 0; y < rgb.height(); ++y)
            std::memcpy(pixels + qsizetype(y) * stride, rgb.constScanLine(y), rgb.width() * 3);
        heif_encoder_set_lossy_quality(encoder, 90);
        options->image_orientation = heif_orientation(orientation);
        done = heif_context_encode_image(context, picture, encoder, options, nullptr).code ==
                   heif_error_Ok &&
               heif_context_write(context, &writer, &bytes).code == heif_error_Ok;
    }
    heif_encoding_options_free(options);
    if (picture)
        heif_image_release(picture);
    if (encoder)
        heif_encoder_release(encoder);
    heif_context_free(context);
    heif_deinit();
    if (!done)
        throw std::runtime_error("cannot encode a HEIF test picture");
    return bytes;
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
    // The tile's coded picture: its configuration box and the data of its one item.
    const QByteArray meta = box(tile, "meta").mid(4);
    const QByteArray hvcC = makeBox("hvcC", box(box(box(meta, "iprp"), "ipco"), "hvcC"));
    const QByteArray iloc = box(meta, "iloc");
    const int version = quint8(iloc[0]);
    const int offsetSize = quint8(iloc[4]) >> 4, lengthSize = quint8(iloc[4]) & 15;
    const int baseSize = quint8(iloc[5]) >> 4, indexSize = version ? quint8(iloc[5]) & 15 : 0;
    // Past the header and the item count: the first item's number, construction and reference.
    qsizetype at = 6 + (version == 2 ? 4 : 2) * 2 + (version ? 2 : 0) + 2;
    const quint32 base = baseSize ? bigEndian(iloc, at, baseSize) : 0;
    at += baseSize + 2 + indexSize;
    const quint32 offset = base + bigEndian(iloc, at, offsetSize);
    const QByteArray data = tile.mid(offset, bigEndian(iloc, at + offsetSize, lengthSize));

    const int tiles = rows * columns;
    const quint32 width = quint32(columns * stated.width()),
                  height = quint32(rows * stated.height());
    const bool wide = width > 0xFFFF || height > 0xFFFF;
    const QByteArray gridData = QByteArray(1, '\0') + char(wide ? 1 : 0) + char(rows - 1) +
                                char(columns - 1) + be(width, wide ? 4 : 2) +
                                be(height, wide ? 4 : 2);
    // Item 1 is the grid, items 2 and on its tiles, all of them coding the same data.
    QByteArray infos = be(quint32(tiles + 1), 2) +
                       fullBox("infe", 2, 0, be(1, 2) + be(0, 2) + "grid" + QByteArray(1, '\0'));
    QByteArray references = be(1, 2) + be(quint32(tiles), 2);
    QByteArray associations = be(quint32(tiles + 1), 4) + be(1, 2) + char(1) + char(0x03);
    for (int i = 0; i < tiles; ++i) {
        infos +=
            fullBox("infe", 2, 1, be(quint32(i + 2), 2) + be(0, 2) + "hvc1" + QByteArray(1, '\0'));
        references += be(quint32(i + 2), 2);
        associations += be(quint32(i + 2), 2) + char(2) + char(0x81) + char(0x02);
    }
    const QByteArray properties =
        makeBox("ipco", hvcC +
                            fullBox("ispe", 0, 0, be(stated.width(), 4) + be(stated.height(), 4)) +
                            fullBox("ispe", 0, 0, be(width, 4) + be(height, 4))) +
        fullBox("ipma", 0, 0, associations);
    const auto locations = [&](quint32 mdat) {
        QByteArray entries = be(quint32(tiles + 1), 2);
        for (int i = 0; i <= tiles; ++i) {
            const bool grid = i == 0;
            entries += be(quint32(i + 1), 2) + be(0, 2) + be(0, 2) + be(1, 2) +
                       be(grid ? mdat : mdat + quint32(gridData.size()), 4) +
                       be(quint32(grid ? gridData.size() : data.size()), 4);
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
    return ftyp + metaBox(mdat) + makeBox("mdat", gridData + data);
}

} // namespace TestFiles
