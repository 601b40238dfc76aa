#pragma once

#include <QtGlobal>

class QIODevice;

// The size at which the HEVC decoder allocates a HEIF file's pictures comes from the coded
// stream's sequence parameter sets, not from the boxes that state the picture's size: a file can
// state a small picture and code a huge one. These read the parameter sets of the file's HEVC
// configuration boxes (where encoders put them) without decoding anything.
namespace HevcCodedSize {

// The largest picture, in pixels, that a sequence parameter set in a configuration box of the
// HEIF file on device (starting at origin, bytes) declares; 0 when there is none, -1 when one
// cannot be read. Leaves the device's position anywhere.
qint64 largestPicture(QIODevice *device, qint64 origin);

} // namespace HevcCodedSize
