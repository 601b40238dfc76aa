#include "testfiles.h"

#include <QFile>
#include <QImage>
#include <QtEndian>

#include <libheif/heif.h>

#include <cmath>
#include <cstring>
#include <stdexcept>

namespace TestFiles {

void writePicture(const QString &path, int width, int height, const QColor &colour,
                  const char *format)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    if (!image.save(path, format))
        throw std::runtime_error("cannot write test picture");
}

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

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        throw std::runtime_error("cannot write test file");
}

void writeWav(const QString &path, double seconds, int sampleRate)
{
    const int samples = int(seconds * sampleRate);
    QByteArray data(samples * 2, Qt::Uninitialized);
    for (int i = 0; i < samples; ++i) {
        const double t = double(i) / sampleRate;
        const auto value = qint16(6000 * std::sin(2 * M_PI * 440 * t));
        qToLittleEndian<qint16>(value, data.data() + 2 * i);
    }
    QByteArray wav;
    auto put32 = [&wav](quint32 v) {
        char b[4];
        qToLittleEndian<quint32>(v, b);
        wav.append(b, 4);
    };
    auto put16 = [&wav](quint16 v) {
        char b[2];
        qToLittleEndian<quint16>(v, b);
        wav.append(b, 2);
    };
    wav.append("RIFF");
    put32(quint32(36 + data.size()));
    wav.append("WAVEfmt ");
    put32(16);
    put16(1); // PCM
    put16(1); // mono
    put32(quint32(sampleRate));
    put32(quint32(sampleRate * 2));
    put16(2);
    put16(16);
    wav.append("data");
    put32(quint32(data.size()));
    wav.append(data);
    writeBytes(path, wav);
}

} // namespace TestFiles
