#include "pictures/webpdecoder.h"

#include "pictures/workstop.h"

#include <QPainter>
#include <QSysInfo>

#include <webp/decode.h>
#include <webp/demux.h>

#include <algorithm>
#include <cmath>
#include <memory>

namespace WebpDecoder {

namespace {

// The file is handed to libwebp in this many pieces, none smaller than MinPieceBytes: a decode
// told to stop stops within a sixteenth of its work, and a lossless picture, whose decoder
// goes over what it has again at every piece, costs little more than at once.
constexpr size_t Pieces = 16;
constexpr size_t MinPieceBytes = 16 << 10;

// A frame's bytes decoded to size, with alpha when it has some.
QImage decodeFrame(const uint8_t *bytes, size_t length, const QSize &size, bool alpha,
                   const WorkStop *stop)
{
    WebPDecoderConfig config;
    if (size.isEmpty() || !WebPInitDecoderConfig(&config))
        return {};
    QImage image(size, alpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    if (image.isNull())
        return {};
    // The same memory order as Qt's 32-bit formats: B, G, R, A on little-endian machines.
    const bool little = QSysInfo::ByteOrder == QSysInfo::LittleEndian;
    config.output.colorspace =
        alpha ? (little ? MODE_bgrA : MODE_Argb) : (little ? MODE_BGRA : MODE_ARGB);
    config.output.is_external_memory = 1;
    config.output.u.RGBA.rgba = image.bits();
    config.output.u.RGBA.stride = int(image.bytesPerLine());
    config.output.u.RGBA.size = size_t(image.sizeInBytes());
    config.options.use_scaling = 1;
    config.options.scaled_width = size.width();
    config.options.scaled_height = size.height();
    const std::unique_ptr<WebPIDecoder, void (*)(WebPIDecoder *)> decoder(
        WebPIDecode(nullptr, 0, &config), WebPIDelete);
    if (!decoder)
        return {};
    VP8StatusCode status = VP8_STATUS_NOT_ENOUGH_DATA;
    const size_t piece = std::max(MinPieceBytes, length / Pieces + 1);
    for (size_t at = 0; at < length; at += piece) {
        if (stop && stop->stopped())
            return {};
        status = WebPIAppend(decoder.get(), bytes + at, std::min(piece, length - at));
        if (status != VP8_STATUS_SUSPENDED)
            break;
    }
    return status == VP8_STATUS_OK ? image : QImage();
}

} // namespace

Features features(const QByteArray &start)
{
    WebPBitstreamFeatures found;
    Features features;
    if (WebPGetFeatures(reinterpret_cast<const uint8_t *>(start.constData()), size_t(start.size()),
                        &found) != VP8_STATUS_OK)
        return features;
    features.size = QSize(found.width, found.height);
    features.alpha = found.has_alpha;
    features.animated = found.has_animation;
    return features;
}

QImage decode(const QByteArray &data, const QSize &size, const WorkStop *stop)
{
    const Features file = features(data);
    if (!file.size.isValid())
        return {};
    if (!file.animated)
        return decodeFrame(reinterpret_cast<const uint8_t *>(data.constData()), size_t(data.size()),
                           size, file.alpha, stop);
    // The first frame, drawn at its place on the canvas, both made to the shown size.
    const WebPData whole{reinterpret_cast<const uint8_t *>(data.constData()), size_t(data.size())};
    const std::unique_ptr<WebPDemuxer, void (*)(WebPDemuxer *)> demuxer(WebPDemux(&whole),
                                                                        WebPDemuxDelete);
    WebPIterator frame;
    if (!demuxer || !WebPDemuxGetFrame(demuxer.get(), 1, &frame))
        return {};
    const double sx = double(size.width()) / file.size.width();
    const double sy = double(size.height()) / file.size.height();
    const QRect place(int(std::lround(frame.x_offset * sx)), int(std::lround(frame.y_offset * sy)),
                      std::max(1, int(std::lround(frame.width * sx))),
                      std::max(1, int(std::lround(frame.height * sy))));
    const QImage drawn =
        decodeFrame(frame.fragment.bytes, frame.fragment.size, place.size(), frame.has_alpha, stop);
    WebPDemuxReleaseIterator(&frame);
    if (drawn.isNull())
        return {};
    QImage canvas(size, file.alpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    if (canvas.isNull())
        return {};
    canvas.fill(file.alpha ? Qt::transparent : Qt::black);
    QPainter painter(&canvas);
    painter.drawImage(place.topLeft(), drawn);
    painter.end();
    return canvas;
}

} // namespace WebpDecoder
