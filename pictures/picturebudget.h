#pragma once

#include <QtGlobal>

// What decoding one picture may cost, whatever its format: a file of a few kilobytes can make a
// decoder produce gigapixels or work for minutes. Past these bounds a picture is refused as one
// that cannot be read, before its pixels are allocated; past the processor time its work is
// worth (DecodeTime), once it has used it up.
namespace PictureBudget {

// Pixels a decoder may produce for one picture: a photo of 200 megapixels is scanned in a few
// seconds.
constexpr qint64 MaxPixels = 200'000'000;

// What a decoder's setting up of one more coded picture (a tile of a HEIF grid) costs, counted
// as pixels: a few milliseconds, as long as decoding this many pixels takes.
constexpr qint64 PicturePixels = 65'536;

} // namespace PictureBudget
