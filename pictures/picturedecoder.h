#pragma once

#include "runtime/fileprobe.h"

#include <QImage>
#include <QSize>
#include <QString>

#include <functional>
#include <optional>

class DecodeTime;
class PictureMemory;
class WorkStop;

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
    // Not decoded ahead of its turn: it would have taken more of the program's picture memory
    // than was free, or more time than it had; its turn decodes it.
    bool postponed = false;
};

// How a decode shares the program: what tells it to stop (it gives up at its next read of the
// file) and what it tells the processor time it may take, the memory and the decoding rates
// the program's decodes share, whether it is ahead of the picture's turn, and who is told the
// file's stamp as soon as it is open. A decode with none of them decodes as if alone.
struct Sharing
{
    WorkStop *stop = nullptr;
    PictureMemory *memory = nullptr;
    DecodeTime *time = nullptr;
    bool ahead = false;
    std::function<void(const FileProbe::Stamp &)> opened{};
};

// The picture at path, decoded once to fit inside the box for its shape (device pixels) with
// its proportions, upright by its EXIF orientation. A picture smaller than the box is enlarged
// once here, so that painting it needs no scaling. A picture that would cost far more than a
// real one counts as no picture, whatever its format: over 200 megapixels decoded (every tile
// of a grid counted at the size it is coded), more memory than the program's decodes may take
// at once, a progressive JPEG over 100 megapixels at full colour resolution, a JPEG of many
// megapixels in a few bytes, with more scans than any encoder writes, or with data going on far
// beyond what its frame promises; one that takes far more processor time than this machine
// takes for a real picture of its format and size; and one whose decode is told to stop. The
// decoder reads no further into the file than its picture needs.
Picture decode(const QString &path, const Boxes &boxes, const Sharing &sharing = {});

// The picture decoded for other boxes, made to fit boxes with one smooth scale; empty when it
// is smaller than they need, so that it must be decoded again. A picture that could not be
// read is the same answer for any boxes.
std::optional<Picture> refit(const Picture &picture, const Boxes &boxes);
inline Picture decode(const QString &path, const QSize &box)
{
    return decode(path, {box, box});
}

} // namespace PictureDecoder
