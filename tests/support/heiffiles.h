#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>

// HEIF files the tests and the benchmarks make.
namespace TestFiles {

// A HEIF file of image, coded with HEVC (HEIC) or with AV1 (AVIF) by libheif, that carries
// orientation (numbered as in EXIF, 1 to 8) in its own rotation and mirror boxes: a reader that
// applies them shows image turned and mirrored by it.
// An image with alpha is coded with its alpha, one of 16 bits a channel in 10 bits.
QByteArray encodeHeif(const QImage &image, int orientation = 1, bool av1 = false,
                      int quality = 90);
// The picture of a HEIF file as libheif itself converts it to RGBA, whole and upright, in
// premultiplied ARGB32; null when it cannot.
QImage decodeHeif(const QByteArray &file);

// A HEIF grid of rows x columns tiles, every tile the coded picture of tile (a HEIC file of one
// picture, as encodeHeif makes it) and stating the size stated: the grid states a picture of
// columns x stated.width() by rows x stated.height().
QByteArray heifGrid(const QByteArray &tile, int rows, int columns, const QSize &stated);
// The same with tiles of their own, as a phone saves its photo: tile i codes tiles[i] (row by
// row; repeated when there are fewer), and the grid shows the picture cropped to shown when it
// is valid (4032 x 3024 of 8 x 6 tiles of 512 x 512).
QByteArray heifGrid(const QList<QByteArray> &tiles, int rows, int columns, const QSize &stated,
                    const QSize &shown = {});

} // namespace TestFiles
