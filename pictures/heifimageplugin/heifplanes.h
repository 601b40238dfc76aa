#pragma once

#include <QImage>
#include <QSize>

// A HEIF picture as its decoder leaves it (HEVC or AV1): a luma plane; two colour-difference
// planes at full, half (4:2:2) or quarter (4:2:0) resolution, none for a grey picture; maybe an
// alpha plane. Samples of 8 bits take a byte, samples of 9 to 16 bits two.
namespace HeifPlanes {

struct Plane
{
    const uchar *data = nullptr;
    qsizetype stride = 0; // bytes
    QSize size;           // samples
    int bits = 8;         // significant bits of a sample
};

// How luma and colour differences make red, green and blue, as the picture's colour profile
// (ITU-T H.273) states it: its matrix (0 for planes that hold green, blue and red themselves),
// the primaries a matrix may be derived from, and whether the samples take the full range of
// their bits or the limited one (16 to 235 of 255 for luma, 16 to 240 for the differences).
// A picture without a profile is BT.601 in the full range.
struct Colour
{
    int matrix = 6;
    int primaries = 2;
    bool fullRange = true;
};

struct Planes
{
    Plane y, cb, cr;            // cb and cr without data for a grey picture
    Plane alpha;                // without data when the picture has none
    bool premultiplied = false; // the colours are already multiplied by alpha
    Colour colour;
};

// The picture made at size (no larger than its planes, proportions as the caller wants them)
// in one pass over the planes: every pixel the average of the area of the picture it covers,
// converted to RGB32, or to premultiplied ARGB32 when there is alpha. Its rows are shared by
// up to threads threads. Null when the planes do not make a picture of that size.
QImage shown(const Planes &planes, const QSize &size, int threads);

} // namespace HeifPlanes
