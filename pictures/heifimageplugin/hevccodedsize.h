#pragma once

#include <QtGlobal>

#include <optional>

class QIODevice;

// The size at which the HEVC decoder allocates a HEIF file's pictures comes from the coded
// stream's sequence parameter sets, not from the boxes that state the picture's size: a file can
// state a small picture and code a huge one. These read the parameter sets of the file's HEVC
// configuration boxes (where encoders put them) without decoding anything.
namespace HevcCodedSize {

// What decoding the primary picture of the HEIF file on device (starting at origin, bytes)
// makes the decoder produce, from the coded streams rather than from the sizes the file states:
// the pixels of every coded picture decoded for it (each tile of a grid, its alpha) and how
// many they are, and how many items the file has in all. A picture coded with HEVC counts at the
// size its parameter sets declare, one coded otherwise (AV1) at the size it states. Empty when the
// file's boxes cannot be read, or when a coded picture is larger than the size it states (rounded
// up to whole coding blocks). Leaves the device's position anywhere.
struct Decoded
{
    qint64 pixels = 0;
    int pictures = 0;
    int items = 0;
};
std::optional<Decoded> primaryPicture(QIODevice *device, qint64 origin);

} // namespace HevcCodedSize
