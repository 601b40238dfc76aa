#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>

// HEIF files the tests and the benchmarks make.
namespace TestFiles {

// A HEIF file of image, coded with HEVC (HEIC) or with AV1 (AVIF) by libheif, that carries
// orientation (numbered as in EXIF, 1 to 8) in its own rotation and mirror boxes: a reader that
// applies them shows image turned and mirrored by it.
QByteArray encodeHeif(const QImage &image, int orientation = 1, bool av1 = false);

// A HEIF grid of rows x columns tiles, every tile the coded picture of tile (a HEIC file of one
// picture, as encodeHeif makes it) and stating the size stated: the grid states a picture of
// columns x stated.width() by rows x stated.height().
QByteArray heifGrid(const QByteArray &tile, int rows, int columns, const QSize &stated);

} // namespace TestFiles
