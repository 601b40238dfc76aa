#include "pictures/jpegdecoder.h"

#include <turbojpeg.h>

#include <memory>

namespace JpegDecoder {

int reductionFor(const QSize &stored, const QSize &shown)
{
    for (int reduction : {8, 4, 2}) {
        const QSize reduced(stored.width() / reduction, stored.height() / reduction);
        if (reduced.width() * 20 >= shown.width() * 19 &&
            reduced.height() * 20 >= shown.height() * 19)
            return reduction;
    }
    return 1;
}

QImage decode(const QByteArray &data, int reduction)
{
    const std::unique_ptr<void, int (*)(tjhandle)> decoder(tjInitDecompress(), tjDestroy);
    if (!decoder || data.isEmpty())
        return {};
    const auto *bytes = reinterpret_cast<const unsigned char *>(data.constData());
    const auto size = static_cast<unsigned long>(data.size());
    int width = 0, height = 0, subsampling = 0, colourSpace = 0;
    if (tjDecompressHeader3(decoder.get(), bytes, size, &width, &height, &subsampling,
                            &colourSpace) != 0 ||
        colourSpace == TJCS_CMYK || colourSpace == TJCS_YCCK)
        return {};
    const tjscalingfactor factor{1, reduction};
    QImage image(TJSCALED(width, factor), TJSCALED(height, factor), QImage::Format_RGB32);
    if (image.isNull())
        return {};
    // RGB32 is B, G, R, X in memory on little-endian machines, X, R, G, B on big-endian ones.
    const int format = QSysInfo::ByteOrder == QSysInfo::LittleEndian ? TJPF_BGRX : TJPF_XRGB;
    if (tjDecompress2(decoder.get(), bytes, size, image.bits(), image.width(),
                      int(image.bytesPerLine()), image.height(), format, 0) != 0 &&
        tjGetErrorCode(decoder.get()) != TJERR_WARNING)
        return {};
    return image;
}

} // namespace JpegDecoder
