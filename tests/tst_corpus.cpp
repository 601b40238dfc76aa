// Malformed pictures, made here at run time: each is shown in a running show, which either
// shows it or stops with its message, without crashing, hanging or eating the memory.
#include "setup/setupwindow.h"
#include "viewer/imagecontrol.h"
#include "viewer/picturebox.h"
#include "pictures/fileworker.h"
#include "pictures/picturedecoder.h"
#include "pictures/picturememory.h"
#include "pictures/picturesource.h"
#include "viewer/viewerwindow.h"

#include "support/showfixture.h"
#include "support/testfiles.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImageWriter>
#include <QPushButton>
#include <QRandomGenerator>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <atomic>

namespace {

// What a sample must do in the show: be shown, stop the show with the message, or either.
enum class Expect { Shown, Refused, Either };

struct Sample
{
    QString name; // file name with the show's extension
    QByteArray bytes;
    Expect expect = Expect::Either;
};

// Peak and current resident memory of this process, kilobytes.
qint64 statusField(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qsizetype(qstrlen(field))).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}
qint64 peakMemoryKb()
{
    return statusField("VmHWM:");
}

quint32 crc32(const QByteArray &data)
{
    static const auto table = [] {
        std::array<quint32, 256> t{};
        for (quint32 n = 0; n < 256; ++n) {
            quint32 c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    quint32 c = 0xFFFFFFFFu;
    for (char byte : data)
        c = table[(c ^ quint8(byte)) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

void putBE32(QByteArray &out, quint32 v)
{
    char b[4];
    qToBigEndian(v, b);
    out.append(b, 4);
}

void putLE16(QByteArray &out, quint16 v)
{
    char b[2];
    qToLittleEndian(v, b);
    out.append(b, 2);
}

QByteArray pngChunk(const char *type, const QByteArray &data)
{
    QByteArray out;
    putBE32(out, quint32(data.size()));
    const QByteArray body = QByteArray(type, 4) + data;
    out.append(body);
    putBE32(out, crc32(body));
    return out;
}

// Bits packed from the lowest bit of each byte up, as deflate and GIF's LZW store them.
class BitWriter
{
public:
    void put(quint32 value, int count)
    {
        for (int i = 0; i < count; ++i) {
            if (value >> i & 1)
                m_byte |= 1u << m_used;
            if (++m_used == 8)
                flush();
        }
    }
    // A Huffman code, stored from its most significant bit.
    void code(quint32 value, int length)
    {
        for (int i = length - 1; i >= 0; --i)
            put(value >> i & 1, 1);
    }
    void zeros(quint64 count)
    {
        for (; count > 0 && m_used != 0; --count)
            put(0, 1);
        bytes.append(QByteArray(qsizetype(count / 8), '\0'));
        put(0, int(count % 8));
    }
    void finish()
    {
        if (m_used)
            flush();
    }
    QByteArray bytes;

private:
    void flush()
    {
        bytes.append(char(m_byte));
        m_byte = 0;
        m_used = 0;
    }
    quint32 m_byte = 0;
    int m_used = 0;
};

// A zlib stream of n zero bytes, about a thousand times smaller: one block whose literal 0
// is followed by matches of 258 bytes at distance 1, two bits each.
QByteArray zlibZeros(quint64 n)
{
    BitWriter bits;
    bits.put(1, 1); // the last block
    bits.put(2, 2); // with its own codes
    bits.put(286 - 257, 5);
    bits.put(1 - 1, 5);
    bits.put(18 - 4, 4);
    // Lengths of the code-length codes, in their stored order: 18 has 1 bit, 1 and 2 have 2.
    for (int symbol : {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1})
        bits.put(symbol == 18 ? 1 : (symbol == 1 || symbol == 2) ? 2 : 0, 3);
    const auto length = [&bits](int l) { bits.code(l == 1 ? 2 : 3, 2); };
    const auto zeroRun = [&bits](int run) {
        bits.code(0, 1);
        bits.put(quint32(run - 11), 7);
    };
    length(2);    // literal 0
    zeroRun(138); // literals 1..138
    zeroRun(117); // literals 139..255
    length(2);    // end of block
    zeroRun(28);  // lengths 257..284
    length(1);    // length 258
    length(1);    // distance 1
    // Codes: length 258 is 0, literal 0 is 10, the end 11; distance 1 is 0.
    quint64 left = n;
    if (left > 0) {
        bits.code(2, 2);
        --left;
    }
    bits.zeros(left / 258 * 2);
    for (quint64 i = 0; i < left % 258; ++i)
        bits.code(2, 2);
    bits.code(3, 2);
    bits.finish();
    QByteArray out("\x78\x01", 2);
    out.append(bits.bytes);
    putBE32(out, quint32((n % 65521) << 16 | 1));
    return out;
}

QByteArray pngHeader(quint32 width, quint32 height, int depth = 8, int colourType = 2,
                     int interlace = 0)
{
    QByteArray ihdr;
    putBE32(ihdr, width);
    putBE32(ihdr, height);
    ihdr.append(char(depth)).append(char(colourType)).append('\0').append('\0');
    ihdr.append(char(interlace));
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + pngChunk("IHDR", ihdr);
}

// A black RGB PNG of width x height, compressed about a thousand times: a bomb.
QByteArray blackPng(quint32 width, quint32 height)
{
    QByteArray png = pngHeader(width, height);
    const QByteArray z = zlibZeros(quint64(height) * (1 + quint64(width) * 3));
    for (qsizetype at = 0; at < z.size(); at += 1 << 20)
        png.append(pngChunk("IDAT", z.mid(at, 1 << 20)));
    png.append(pngChunk("IEND", {}));
    return png;
}

// A PNG's header rewritten to other dimensions, with a matching checksum or not.
QByteArray pngWithSize(QByteArray png, quint32 width, quint32 height, bool fixChecksum = true)
{
    qToBigEndian(width, png.data() + 16);
    qToBigEndian(height, png.data() + 20);
    if (fixChecksum)
        qToBigEndian(crc32(png.mid(12, 17)), png.data() + 29);
    return png;
}

// A four-colour GIF of vertical stripes, width x height on a logical screen of its own size.
QByteArray gif(quint16 width, quint16 height, quint16 screenWidth, quint16 screenHeight,
               int minimumCodeSize = 2)
{
    QByteArray out("GIF89a");
    putLE16(out, screenWidth);
    putLE16(out, screenHeight);
    out.append(char(0xF1)).append('\0').append('\0'); // a global table of four colours
    const uchar palette[12] = {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255};
    out.append(reinterpret_cast<const char *>(palette), 12);
    out.append(char(0x2C));
    putLE16(out, 0);
    putLE16(out, 0);
    putLE16(out, width);
    putLE16(out, height);
    out.append('\0');
    out.append(char(minimumCodeSize));
    BitWriter bits;
    // A clear code before every second pixel keeps every code three bits wide.
    const quint64 pixels = quint64(width) * height;
    for (quint64 i = 0; i < pixels; ++i) {
        if (i % 2 == 0)
            bits.put(4, 3);
        bits.put(quint32((i % width) / 8 % 4), 3);
    }
    bits.put(5, 3);
    bits.finish();
    for (qsizetype at = 0; at < bits.bytes.size(); at += 255) {
        const QByteArray block = bits.bytes.mid(at, 255);
        out.append(char(block.size())).append(block);
    }
    out.append('\0').append(char(0x3B));
    return out;
}

QImage pattern(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb(x * 255 / width, y * 255 / height, (x ^ y) * 7 & 0xFF));
    return image;
}

QByteArray encode(const QImage &image, const char *format, bool progressive = false)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setProgressiveScanWrite(progressive);
    if (!writer.write(image))
        qFatal("cannot encode a %s sample", format);
    return bytes;
}

// A JPEG whose frame header claims other dimensions, and with sampling other than 0 every
// component at that sampling (0x11: full resolution).
QByteArray jpegWithSize(QByteArray jpeg, quint16 width, quint16 height, char sampling = 0)
{
    for (qsizetype i = 2; i + 9 < jpeg.size(); ++i) {
        const quint8 marker = quint8(jpeg[i + 1]);
        if (quint8(jpeg[i]) == 0xFF && marker >= 0xC0 && marker <= 0xC2) {
            qToBigEndian(height, jpeg.data() + i + 5);
            qToBigEndian(width, jpeg.data() + i + 7);
            for (int c = 0; sampling && c < quint8(jpeg[i + 9]); ++c)
                jpeg[i + 11 + 3 * c] = sampling;
            return jpeg;
        }
    }
    qFatal("no frame header in the JPEG sample");
}

// A HEIF file whose image spatial extent boxes state other dimensions; its coded picture stays.
QByteArray heifWithSize(QByteArray heif, quint32 width, quint32 height)
{
    for (qsizetype at = heif.indexOf("ispe"); at >= 0; at = heif.indexOf("ispe", at + 4)) {
        qToBigEndian(width, heif.data() + at + 8); // after the type, a version and flags
        qToBigEndian(height, heif.data() + at + 12);
    }
    return heif;
}

template <typename T> QByteArray patchedLE(QByteArray bytes, qsizetype at, T value)
{
    qToLittleEndian(value, bytes.data() + at);
    return bytes;
}

QList<Sample> makeCorpus()
{
    QList<Sample> corpus;
    const QImage picture = pattern(96, 64);
    const QImage indexed = picture.convertToFormat(QImage::Format_Indexed8);
    const struct
    {
        const char *kind;
        const char *extension;
        QByteArray bytes;
    } bases[] = {
        {"jpeg", "JPG", encode(picture, "jpeg")},
        {"jpeg_progressive", "JPG", encode(picture, "jpeg", true)},
        {"png", "PNG", encode(picture, "png")},
        {"png_indexed", "PNG", encode(indexed, "png")},
        {"gif", "GIF", gif(96, 64, 96, 64)},
        {"bmp", "BMP", encode(picture, "bmp")},
        {"bmp_indexed", "BMP", encode(indexed, "bmp")},
        {"heic", "HEIC", TestFiles::encodeHeif(picture)},
        {"avif", "AVIF", TestFiles::encodeHeif(picture, 1, /*av1*/ true)},
        {"webp", "WEBP", encode(picture, "webp")},
        {"tiff", "TIF", encode(picture, "tiff")},
    };
    QRandomGenerator random(20240607);
    for (const auto &base : bases) {
        const QString prefix = QLatin1String(base.kind);
        const QString extension = QLatin1Char('.') + QLatin1String(base.extension);
        const QByteArray &whole = base.bytes;
        const qsizetype size = whole.size();
        corpus << Sample{prefix + QStringLiteral("_intact") + extension, whole, Expect::Shown};

        // Cut at many lengths: inside the signature, the headers, the data.
        QList<qsizetype> lengths = {1,
                                    2,
                                    3,
                                    4,
                                    6,
                                    8,
                                    12,
                                    16,
                                    24,
                                    32,
                                    54,
                                    100,
                                    200,
                                    size / 4,
                                    size / 3,
                                    size / 2,
                                    size * 2 / 3,
                                    size * 3 / 4,
                                    size - 16,
                                    size - 2,
                                    size - 1};
        std::sort(lengths.begin(), lengths.end());
        lengths.erase(std::unique(lengths.begin(), lengths.end()), lengths.end());
        for (qsizetype length : std::as_const(lengths)) {
            if (length > 0 && length < size)
                corpus << Sample{
                    prefix + QStringLiteral("_cut_%1").arg(length, 5, 10, QLatin1Char('0')) +
                        extension,
                    whole.left(length)};
        }

        // A byte turned over at many places.
        QList<qsizetype> places = {
            0,  1,  2,  3,  5,  6,  8,  10, 12,       14,       16,           18,
            20, 22, 24, 26, 28, 30, 40, 60, size / 3, size / 2, size * 2 / 3, size - 2};
        std::sort(places.begin(), places.end());
        places.erase(std::unique(places.begin(), places.end()), places.end());
        for (qsizetype at : std::as_const(places)) {
            if (at < 0 || at >= size)
                continue;
            QByteArray flipped = whole;
            flipped[at] = char(~quint8(flipped[at]));
            corpus << Sample{prefix + QStringLiteral("_flip_%1").arg(at, 5, 10, QLatin1Char('0')) +
                                 extension,
                             flipped};
        }
        // Runs of noise over the headers and the data.
        for (int run = 0; run < 4; ++run) {
            QByteArray noisy = whole;
            const qsizetype at = run == 0 ? 0 : random.bounded(qint64(size));
            for (qsizetype i = at; i < qMin(size, at + 32); ++i)
                noisy[i] = char(random.bounded(256));
            corpus << Sample{prefix + QStringLiteral("_noise_%1").arg(run) + extension, noisy};
        }
    }

    // Headers that lie about the picture.
    const QByteArray jpeg = bases[0].bytes;
    const QByteArray progressive = encode(pattern(640, 480), "jpeg", true);
    corpus << Sample{QStringLiteral("lie_jpeg_65500x65500.JPG"), jpegWithSize(jpeg, 65500, 65500),
                     Expect::Refused}
           << Sample{QStringLiteral("lie_jpeg_20000x20000.JPG"), jpegWithSize(jpeg, 20000, 20000),
                     Expect::Refused}
           << Sample{QStringLiteral("lie_jpeg_12000x9000.JPG"), jpegWithSize(jpeg, 12000, 9000)}
           << Sample{QStringLiteral("lie_jpeg_1x65500.JPG"), jpegWithSize(jpeg, 1, 65500)}
           << Sample{QStringLiteral("lie_jpeg_65500x1.JPG"), jpegWithSize(jpeg, 65500, 1)}
           << Sample{QStringLiteral("lie_jpeg_0x0.JPG"), jpegWithSize(jpeg, 0, 0), Expect::Refused}
           << Sample{QStringLiteral("lie_progressive_20000x20000.JPG"),
                     jpegWithSize(progressive, 20000, 20000), Expect::Refused}
           << Sample{QStringLiteral("lie_progressive_12000x12000.JPG"),
                     jpegWithSize(progressive, 12000, 12000), Expect::Refused}
           << Sample{QStringLiteral("lie_progressive_4000x3000.JPG"),
                     jpegWithSize(progressive, 4000, 3000)};
    {
        // A segment claiming to run past the end of the file.
        QByteArray longSegment = jpeg;
        longSegment[4] = char(0xFF);
        longSegment[5] = char(0xFF);
        corpus << Sample{QStringLiteral("lie_jpeg_segment_length.JPG"), longSegment};
    }

    const QByteArray png = bases[2].bytes;
    corpus << Sample{QStringLiteral("lie_png_30000x30000.PNG"), pngWithSize(png, 30000, 30000),
                     Expect::Refused}
           << Sample{QStringLiteral("lie_png_30000x30000_bad_checksum.PNG"),
                     pngWithSize(png, 30000, 30000, false)}
           << Sample{QStringLiteral("lie_png_5000x5000.PNG"), pngWithSize(png, 5000, 5000)}
           << Sample{QStringLiteral("lie_png_0x0.PNG"), pngWithSize(png, 0, 0), Expect::Refused}
           << Sample{QStringLiteral("lie_png_2147483647x1.PNG"), pngWithSize(png, 0x7FFFFFFF, 1)}
           << Sample{QStringLiteral("lie_png_1x2147483647.PNG"), pngWithSize(png, 1, 0x7FFFFFFF)}
           << Sample{QStringLiteral("lie_png_depth3.PNG"), pngHeader(96, 64, 3) + png.mid(33)}
           << Sample{QStringLiteral("lie_png_colour5.PNG"), pngHeader(96, 64, 8, 5) + png.mid(33)}
           << Sample{QStringLiteral("lie_png_interlace7.PNG"),
                     pngHeader(96, 64, 8, 2, 7) + png.mid(33)}
           << Sample{QStringLiteral("lie_png_indexed_30000x1.PNG"),
                     pngWithSize(bases[3].bytes, 30000, 1)};

    corpus << Sample{QStringLiteral("lie_gif_huge_screen.GIF"), gif(16, 16, 65535, 65535)}
           << Sample{QStringLiteral("lie_gif_image_past_screen.GIF"),
                     patchedLE<quint16>(patchedLE<quint16>(gif(16, 16, 16, 16), 30, 65535), 32,
                                        65535)}
           << Sample{QStringLiteral("lie_gif_empty_screen.GIF"), gif(16, 16, 0, 0)}
           << Sample{QStringLiteral("lie_gif_code_size_12.GIF"), gif(16, 16, 16, 16, 12)};

    // A stated size past the limit; a coded picture far larger than the stated one, which the
    // decoder would allocate and decode whole.
    const QByteArray heic = bases[7].bytes;
    corpus << Sample{QStringLiteral("lie_heic_30000x30000.HEIC"), heifWithSize(heic, 30000, 30000),
                     Expect::Refused}
           << Sample{QStringLiteral("lie_heic_coded_512x512_stated_16x16.HEIC"),
                     heifWithSize(TestFiles::encodeHeif(pattern(512, 512)), 16, 16),
                     Expect::Refused}
           << Sample{
                  QStringLiteral("lie_heic_grid_3600_tiles_coded_512x512_stated_64x64.HEIC"),
                  TestFiles::heifGrid(TestFiles::encodeHeif(pattern(512, 512)), 60, 60, {64, 64}),
                  Expect::Refused};

    const QByteArray bmp = bases[5].bytes;
    const QByteArray bmpIndexed = bases[6].bytes;
    corpus << Sample{QStringLiteral("lie_bmp_1000000x1000000.BMP"),
                     patchedLE<qint32>(patchedLE<qint32>(bmp, 18, 1000000), 22, 1000000)}
           << Sample{QStringLiteral("lie_bmp_30000x-30000.BMP"),
                     patchedLE<qint32>(patchedLE<qint32>(bmp, 18, 30000), 22, -30000)}
           << Sample{QStringLiteral("lie_bmp_width_negative.BMP"), patchedLE<qint32>(bmp, 18, -5)}
           << Sample{QStringLiteral("lie_bmp_height_0.BMP"), patchedLE<qint32>(bmp, 22, 0)}
           << Sample{QStringLiteral("lie_bmp_depth_0.BMP"), patchedLE<quint16>(bmp, 28, 0)}
           << Sample{QStringLiteral("lie_bmp_depth_7.BMP"), patchedLE<quint16>(bmp, 28, 7)}
           << Sample{QStringLiteral("lie_bmp_depth_64.BMP"), patchedLE<quint16>(bmp, 28, 64)}
           << Sample{QStringLiteral("lie_bmp_rle8_on_24_bits.BMP"), patchedLE<quint32>(bmp, 30, 1)}
           << Sample{QStringLiteral("lie_bmp_bitfields.BMP"), patchedLE<quint32>(bmp, 30, 3)}
           << Sample{QStringLiteral("lie_bmp_data_offset.BMP"),
                     patchedLE<quint32>(bmp, 10, 0x7FFFFFFF)}
           << Sample{QStringLiteral("lie_bmp_header_size.BMP"), patchedLE<quint32>(bmp, 14, 0xFFFF)}
           << Sample{QStringLiteral("lie_bmp_os2_header.BMP"), patchedLE<quint32>(bmp, 14, 12)}
           << Sample{QStringLiteral("lie_bmp_colours_used.BMP"),
                     patchedLE<quint32>(bmpIndexed, 46, 0x7FFFFFFF)};

    // Other formats the reader recognises by their content, under the show's extension.
    corpus << Sample{QStringLiteral("lie_ppm_30000x30000.JPG"),
                     QByteArray("P6\n30000 30000\n255\n") + QByteArray(100, '\x7f'),
                     Expect::Refused}
           << Sample{QStringLiteral("lie_ppm_cut.JPG"), QByteArray("P6\n2 2\n255\n\x01\x02")}
           << Sample{QStringLiteral("lie_xpm_99999x99999.JPG"),
                     QByteArray("/* XPM */\nstatic char *x[] = {\n\"99999 99999 2 1\",\n"
                                "\"a c #ff0000\",\n\"b c #00ff00\",\n\"ab\"};\n")}
           << Sample{QStringLiteral("lie_svg_huge.JPG"),
                     QByteArray("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"1000000\" "
                                "height=\"1000000\"><rect width=\"10\" height=\"10\"/></svg>")}
           << Sample{QStringLiteral("lie_svg_entities.JPG"),
                     QByteArray("<?xml version=\"1.0\"?><!DOCTYPE svg [<!ENTITY a \"aaaaaaaaaa\">"
                                "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">"
                                "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\">"
                                "<!ENTITY d \"&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;\">"
                                "<!ENTITY e \"&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;\">"
                                "<!ENTITY f \"&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;\">]>"
                                "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"10\" "
                                "height=\"10\"><text>&f;&f;&f;&f;&f;&f;&f;&f;</text></svg>")};

    // The rest: nothing, words, noise, the bombs and the oddly shaped.
    QByteArray noise(4096, '\0');
    for (char &c : noise)
        c = char(random.bounded(256));
    QImage strip(1, 30000, QImage::Format_RGB32);
    strip.fill(Qt::darkCyan);
    corpus
        << Sample{QStringLiteral("empty.JPG"), QByteArray(), Expect::Refused}
        << Sample{QStringLiteral("testo.JPG"), QByteArray("Questa non è un'immagine.\n"),
                  Expect::Refused}
        << Sample{QStringLiteral("rumore.JPG"), noise}
        << Sample{QStringLiteral("bomba_30000x30000.PNG"), blackPng(30000, 30000), Expect::Refused}
        << Sample{QStringLiteral("striscia_1x30000.PNG"), encode(strip, "png"), Expect::Shown}
        << Sample{QStringLiteral("striscia_30000x1.PNG"),
                  encode(strip.transformed(QTransform().rotate(90)), "png"), Expect::Shown}
        << Sample{QStringLiteral("png_named_jpeg.JPG"), png, Expect::Shown}
        << Sample{QStringLiteral("bmp_named_gif.GIF"), bmp, Expect::Shown}
        << Sample{QStringLiteral("jpeg_start_only.JPG"), QByteArray("\xFF\xD8", 2), Expect::Refused}
        << Sample{QStringLiteral("png_signature_only.PNG"), png.left(8), Expect::Refused}
        << Sample{QStringLiteral("gif_signature_only.GIF"), QByteArray("GIF89a"), Expect::Refused}
        << Sample{QStringLiteral("bmp_signature_only.BMP"), QByteArray("BM"), Expect::Refused};
    return corpus;
}

} // namespace

class CorpusTest : public QObject
{
    Q_OBJECT

private slots:
    void theDecoderRefusesWhatWouldCostTooMuch();
    void aDecodeIsChargedTheProcessorTimeOfItsOwnWorkOnly();
    void everyMalformedPictureIsShownOrReported();
    void aHugeWindowDecodesNoLargerThanTheScreen();
};

void CorpusTest::theDecoderRefusesWhatWouldCostTooMuch()
{
    QTemporaryDir dir;
    const auto decode = [&dir](const QString &name, const QByteArray &bytes) {
        const QString path = dir.filePath(name);
        TestFiles::writeBytes(path, bytes);
        return PictureDecoder::decode(path, QSize(1600, 1000));
    };
    const QByteArray progressive = encode(pattern(640, 480), "jpeg", true);

    // A progressive JPEG is held whole while it decodes: one that claims gigabytes is refused
    // before anything is allocated; one of a sensible size decodes.
    const qint64 before = peakMemoryKb();
    QCOMPARE(decode(QStringLiteral("a.JPG"), jpegWithSize(progressive, 20000, 20000)).error, 481);
    QCOMPARE(decode(QStringLiteral("b.JPG"), jpegWithSize(progressive, 12000, 12000)).error, 481);
    const PictureDecoder::Picture fair =
        decode(QStringLiteral("c.JPG"), jpegWithSize(progressive, 4000, 3000));
    QCOMPARE(fair.error, 0);
    QCOMPARE(fair.natural, QSize(4000, 3000));
    QCOMPARE(fair.image.size(), QSize(1333, 1000));
    const PictureDecoder::Picture real = decode(QStringLiteral("d.JPG"), progressive);
    QCOMPARE(real.error, 0);
    QCOMPARE(real.image.size(), QSize(1333, 1000));

    // A PNG bomb of 900 megapixels in 2.6 MB is refused, not scanned for half a minute.
    const QByteArray bomb = blackPng(30000, 30000);
    QVERIFY(bomb.size() < 4 << 20);
    const PictureDecoder::Picture refused = decode(QStringLiteral("e.PNG"), bomb);
    QCOMPARE(refused.error, 481);
    QVERIFY(refused.image.isNull());
    // The same stream decodes when its picture is of a reasonable size: the bomb is sound.
    const PictureDecoder::Picture small = decode(QStringLiteral("f.PNG"), blackPng(300, 200));
    QCOMPARE(small.error, 0);
    QCOMPARE(small.image.pixelColor(10, 10), QColor(Qt::black));

    // Thin strips decode to a line of the box's height or width.
    QImage strip(1, 30000, QImage::Format_RGB32);
    strip.fill(Qt::red);
    const PictureDecoder::Picture tall = decode(QStringLiteral("g.PNG"), encode(strip, "png"));
    QCOMPARE(tall.error, 0);
    QCOMPARE(tall.image.size(), QSize(1, 1000));
    QVERIFY2(peakMemoryKb() - before < 200 * 1024,
             qPrintable(QStringLiteral("%1 kB").arg(peakMemoryKb() - before)));

    // A 50-megapixel camera's progressive export at 4:4:4 needs 300 MB while it decodes: it
    // loads, and the same picture claimed by 1 kB is a bomb.
    QImage grain(1200, 800, QImage::Format_RGB32);
    for (int y = 0; y < grain.height(); ++y)
        for (int x = 0; x < grain.width(); ++x)
            grain.setPixel(x, y, QRandomGenerator::global()->generate());
    const QByteArray camera = jpegWithSize(encode(grain, "jpeg", true), 8688, 5792, 0x11);
    QCOMPARE(decode(QStringLiteral("h.JPG"), camera).error, 0);
    QCOMPARE(decode(QStringLiteral("i.JPG"), camera.left(1024) + QByteArray("\xFF\xD9", 2)).error,
             481);

    // A file that makes the decoder work far beyond what its picture is worth is refused: its
    // last scan repeated thousands of times, or its data going on for a gigabyte.
    const QByteArray tiny = encode(pattern(64, 64), "jpeg", true);
    const qsizetype lastScan = tiny.lastIndexOf("\xFF\xDA"), end = tiny.lastIndexOf("\xFF\xD9");
    const QByteArray scanBomb =
        tiny.left(lastScan) + tiny.mid(lastScan, end - lastScan).repeated(5000) + tiny.mid(end);
    QCOMPARE(decode(QStringLiteral("j.JPG"), scanBomb).error, 481);
    const QString endless = dir.filePath(QStringLiteral("k.JPG"));
    TestFiles::writeBytes(endless, encode(pattern(64, 64), "jpeg").left(700));
    QVERIFY(QFile(endless).resize(1LL << 30)); // sparse: no disk is used
    QCOMPARE(PictureDecoder::decode(endless, QSize(1600, 1000)).error, 481);
}

void CorpusTest::aDecodeIsChargedTheProcessorTimeOfItsOwnWorkOnly()
{
    QTemporaryDir dir;
    const QString png = dir.filePath(QStringLiteral("l.PNG"));
    TestFiles::writeBytes(png, blackPng(300, 200));
    const PictureDecoder::Boxes boxes{{300, 200}, {300, 200}};
    // The machine's processor time, as the worker sees it: while busy is set, a hundred
    // seconds pass between two looks, more than any small picture may take.
    std::atomic<bool> busy{true};
    std::atomic<qint64> processorNs{0};
    const auto processorTime = [&] {
        if (busy)
            processorNs += 100'000'000'000;
        return std::chrono::nanoseconds(processorNs.load());
    };
    const auto refusal = [](const WorkStop &stop) {
        PictureDecoder::Picture refused;
        refused.error = stop.hasRunOut() ? 481 : 0;
        return refused;
    };

    // Work that takes more than its time is given up at once, while its decoder is still busy
    // (here held before it reads): the work after it does not wait for it, and the decode stops
    // at its first read.
    FileWorker worker(1, processorTime);
    std::atomic<int> decoded{-1};
    std::atomic<bool> held{true};
    const auto slow = worker.run<PictureDecoder::Picture>(
        [&](WorkStop &stop) {
            held.wait(true);
            decoded = PictureDecoder::decode(png, boxes, {.stop = &stop}).error;
            return PictureDecoder::Picture();
        },
        refusal);
    QVERIFY(slow->waitFor(std::chrono::seconds(30)));
    QCOMPARE(slow->result().error, 481);
    const auto next = worker.run<int>([] { return 2; });
    QVERIFY(next->waitFor(std::chrono::seconds(30)));
    held = false;
    held.notify_all();
    QTRY_COMPARE(decoded.load(), 481);

    // A decode waiting for its share of the picture memory is not charged the time that passes
    // meanwhile, however long: it decodes once the memory is free.
    busy = false;
    PictureMemory memory(8 << 20);
    std::optional<PictureMemory::Share> taken = memory.take(memory.capacity(), nullptr);
    std::atomic<const WorkStop *> waitingStop{nullptr};
    const auto waiting = worker.run<PictureDecoder::Picture>(
        [&](WorkStop &stop) {
            waitingStop = &stop;
            return PictureDecoder::decode(png, boxes, {.stop = &stop, .memory = &memory});
        },
        refusal);
    QTRY_VERIFY(waitingStop.load() && !waitingStop.load()->isWorking());
    busy = true;
    const qint64 before = processorNs;
    QTRY_VERIFY(processorNs >= before + 5 * 100'000'000'000);
    QVERIFY(!waiting->isReady());
    busy = false;
    taken.reset();
    QVERIFY(waiting->waitFor(std::chrono::seconds(30)));
    QCOMPARE(waiting->result().error, 0);
    QCOMPARE(waiting->result().image.size(), QSize(300, 200));

    // A picture decoding ahead that runs out of its time is refused at its turn, not decoded
    // again from nothing: here the machine has no time left to charge by then.
    const QString large = dir.filePath(QStringLiteral("m.PNG"));
    TestFiles::writeBytes(large, blackPng(8000, 8000));
    busy = true;
    FileWorker decodes(1, processorTime);
    PictureSource source(decodes, {}, 1);
    source.start(large, boxes);
    QTRY_VERIFY_WITH_TIMEOUT(source.isReady(), 30000);
    busy = false;
    const std::optional<PictureDecoder::Picture> turn =
        source.picture(large, boxes, FileProbe::probe(large), [](const PictureSource::Task &task) {
            task->waitFor(std::chrono::seconds(30));
            return std::optional(task->result());
        });
    QVERIFY(turn);
    QCOMPARE(turn->error, 481);
}

void CorpusTest::everyMalformedPictureIsShownOrReported()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QList<Sample> corpus = makeCorpus();
    QVERIFY2(corpus.size() >= 200, qPrintable(QString::number(corpus.size())));

    ShowFixture show;
    int shown = 0;
    int refused = 0;
    for (int i = 0; i < corpus.size(); ++i) {
        const Sample &sample = corpus[i];
        // Each sample alone in a folder of its own, shown with its extension.
        const QString folder = dir.filePath(QString::number(i));
        QVERIFY(QDir().mkpath(folder));
        const QString path = folder + QLatin1Char('/') + sample.name;
        TestFiles::writeBytes(path, sample.bytes);
        const QString extension = sample.name.mid(sample.name.lastIndexOf(QLatin1Char('.')) + 1);
        show.captions.clear();
        show.services.messages.clear();

        show.confirmShow(folder, QStringLiteral("0"), /*cyclic*/ false, extension);
        // A file that takes longer than this has hung the show.
        QVERIFY2(show.waitForShowEnd(30000), qPrintable(sample.name));

        LARK_M7 *viewer = show.viewer();
        QVERIFY(viewer);
        // The file opens, so the caption names it before it is loaded.
        QCOMPARE(show.captions, QStringList{path});
        if (show.services.messages.isEmpty()) {
            QVERIFY2(sample.expect != Expect::Refused, qPrintable(sample.name));
            QVERIFY2(viewer->Image1->hasPicture(), qPrintable(sample.name));
            QVERIFY(viewer->Image1->isVisible());
            ++shown;
        } else {
            QVERIFY2(sample.expect != Expect::Shown, qPrintable(sample.name));
            QCOMPARE(show.services.messages, QStringList{TestFiles::unreadableMessage(path)});
            QCOMPARE(int(show.state().PictureCount), 1000);
            ++refused;
        }
        QCOMPARE(int(show.state().ShowState), 1);
        QVERIFY(viewer->Command2->isVisible());
        QVERIFY(!viewer->Command3->isVisible());

        const qint64 peakKb = peakMemoryKb();
        QVERIFY2(peakKb < 500 * 1024,
                 qPrintable(QStringLiteral("%1: %2 MB").arg(sample.name).arg(peakKb / 1024)));

        // Back to the setup window for the next one.
        const QPointer<LARK_M7> left = viewer;
        QTest::mouseClick(viewer->Command2, Qt::LeftButton);
        QVERIFY(ShowFixture::waitUntil([&] { return left.isNull(); }));
        QFile::remove(path);
    }
    qInfo("%lld files tried: %d shown, %d stopped with the message", qint64(corpus.size()), shown,
          refused);
    QCOMPARE(shown + refused, int(corpus.size()));

    // Afterwards a new confirmation starts a show that works.
    const QString good = dir.filePath(QStringLiteral("good"));
    QVERIFY(QDir().mkpath(good));
    TestFiles::writePicture(good + QStringLiteral("/A.JPG"), 60, 40, Qt::red, "JPEG");
    TestFiles::writePicture(good + QStringLiteral("/B.JPG"), 40, 60, Qt::blue, "JPEG");
    show.captions.clear();
    show.services.messages.clear();
    show.confirmShow(good, QStringLiteral("0.05"));
    QVERIFY(show.waitForShowEnd());
    QCOMPARE(show.shownNames(), (QStringList{"A.JPG", "B.JPG"}));
    QVERIFY(show.services.messages.isEmpty());
    QVERIFY(show.viewer()->Image1->hasPicture());
}

void CorpusTest::aHugeWindowDecodesNoLargerThanTheScreen()
{
    QTemporaryDir dir;
    for (const char *name : {"A.JPG", "B.JPG"})
        TestFiles::writePicture(dir.filePath(QLatin1String(name)), 3000, 2000, Qt::red, "JPEG");
    ShowFixture show;
    show.clock.at(200, [&show] { show.viewer()->resize(6000, 4000); });
    show.confirmShow(dir.path(), QStringLiteral("0.5"));
    QVERIFY(show.waitForShowEnd());
    QCOMPARE(show.captions.size(), 2);
    LARK_M7 *viewer = show.viewer();
    const QSize screen = viewer->screen()->geometry().size() * viewer->screen()->devicePixelRatio();
    const QSize decoded = viewer->Picture1->picture().size();
    QVERIFY2(decoded.width() <= screen.width() && decoded.height() <= screen.height(),
             qPrintable(QStringLiteral("%1 x %2").arg(decoded.width()).arg(decoded.height())));
}

QTEST_MAIN(CorpusTest)
#include "tst_corpus.moc"
