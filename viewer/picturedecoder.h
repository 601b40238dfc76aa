#pragma once

#include <QImage>
#include <QSize>
#include <QString>

// Reading picture files. Needs no window: the show decodes here, and a worker may too.
namespace PictureDecoder {

struct Picture
{
    QImage image;     // decoded, upright, no larger than it is shown
    QSize natural;    // the picture's natural size, upright, pixels
    int error = 0;    // 0, or the runtime error number of a file that is no picture (481)
};

// The picture's natural upright size from its header; invalid when the file is no picture.
QSize naturalSize(const QString &path);

// The picture at path, decoded once to fit inside box (device pixels) with its proportions,
// upright by its EXIF orientation. A picture smaller than the box is enlarged once here, so
// that painting it needs no scaling. A picture too large to decode in bounded time and memory
// (over 200 megapixels, a progressive JPEG over 100 megapixels at full colour resolution, a
// JPEG of many megapixels in a few bytes) counts as no picture.
Picture decode(const QString &path, const QSize &box);

} // namespace PictureDecoder
