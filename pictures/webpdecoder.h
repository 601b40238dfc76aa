#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>

class WorkStop;

// WebP pictures decoded by libwebp straight to the size they are shown at, holding no more
// than the file's bytes and the shown picture, and fed to it a few kilobytes at a time, so that
// a decode told to stop stops at the next piece. Qt's own reader decodes at full size, and for
// an animation draws on a full-size canvas too. An animation shows its first frame on its
// canvas.
namespace WebpDecoder {

struct Features
{
    QSize size; // the picture's, or an animation's canvas; invalid when no WebP
    bool alpha = false;
    bool animated = false;
};

// What the start of a WebP file (its first 64 bytes or more) tells of its picture.
Features features(const QByteArray &start);

// The picture of data, a whole WebP file, decoded to size; null when libwebp cannot decode it
// or stop says to stop.
QImage decode(const QByteArray &data, const QSize &size, const WorkStop *stop);

} // namespace WebpDecoder
