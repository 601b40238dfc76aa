#pragma once

#include "runtime/fileprobe.h"

#include <QImage>
#include <QSize>
#include <QString>

#include <optional>

// Reading picture files. Needs no window and touches no shared state: the show decodes on a
// worker thread with it.
namespace PictureDecoder {

// Where a picture will be shown, device pixels: the box of a landscape picture and the box
// of a portrait or square one. The decoder picks the one for the picture's shape.
struct Boxes
{
    QSize landscape;
    QSize portrait;
    bool operator==(const Boxes &) const = default;
};

struct Picture
{
    QImage image;  // decoded, upright, no larger than it is shown
    QSize natural; // the picture's natural size, upright, pixels
    int error = 0; // 0, or the runtime error number of a file that is no picture (481)
    // The file opened as a regular file; false when it was gone, or a pipe, a device or a
    // socket stood in its place (as a probe of it would find).
    bool opened = false;
    // The file decoded, as it was when it was opened; empty when it changed while it was read.
    std::optional<FileProbe::Stamp> stamp;
};

// The picture at path, decoded once to fit inside the box for its shape (device pixels) with
// its proportions, upright by its EXIF orientation. A picture smaller than the box is enlarged
// once here, so that painting it needs no scaling. A picture that would cost far more than a
// real one counts as no picture: over 200 megapixels, a progressive JPEG over 100 megapixels
// at full colour resolution, a JPEG of many megapixels in a few bytes, with more scans than
// any encoder writes, or with data going on far beyond what its frame promises. The decoder
// reads no further into the file than its picture needs.
Picture decode(const QString &path, const Boxes &boxes);

// The picture decoded for other boxes, made to fit boxes with one smooth scale; empty when it
// is smaller than they need, so that it must be decoded again. A picture that could not be
// read is the same answer for any boxes.
std::optional<Picture> refit(const Picture &picture, const Boxes &boxes);
inline Picture decode(const QString &path, const QSize &box)
{
    return decode(path, {box, box});
}

} // namespace PictureDecoder
