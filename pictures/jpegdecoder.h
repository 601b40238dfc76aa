#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>

// JPEG pictures decoded by libjpeg-turbo straight from the file's bytes. Qt's own reader feeds
// libjpeg 4 kB at a time, and libjpeg then takes its slow path at the end of every block: a
// tenth more processor time for every photo.
namespace JpegDecoder {

// How much a JPEG of stored size is reduced while it decodes so as to be shown at shown (both
// in the stored orientation): 8, 4 or 2, libjpeg's fast reductions, the largest that keeps 95 %
// of the shown size; 1 when none does.
int reductionFor(const QSize &stored, const QSize &shown);

// The picture in data, reduced by reduction, in its stored orientation; null when libjpeg-turbo
// cannot decode it (a colour space it does not turn into RGB, a broken header). A picture whose
// data ends early is decoded all the same, grey where the data is missing.
QImage decode(const QByteArray &data, int reduction);

} // namespace JpegDecoder
