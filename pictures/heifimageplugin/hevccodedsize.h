#pragma once

#include <QList>
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
// The chroma format and the luma bits are the first coded picture's, as its configuration box
// (HEVC's or AV1's) states them: 0 for a grey picture, 1 for 4:2:0, 2 for 4:2:2, 3 for 4:4:4,
// -1 when it states none; bits 0 when unknown. Of the pictures, auxiliaries are decoded beside
// the primary picture (its alpha). The primary picture is then turned and mirrored as its boxes
// say, in their order, and cropped when it has a clean aperture.
enum class Transform {
    QuarterTurn, // anticlockwise
    HalfTurn,
    ThreeQuarterTurn, // anticlockwise
    MirrorAxis0,      // the mirror box's axis 0
    MirrorAxis1,
};
struct Decoded
{
    qint64 pixels = 0;
    int pictures = 0;
    int items = 0;
    int chroma = -1;
    int bits = 0;
    int auxiliaries = 0;
    QList<Transform> transforms;
    bool cropped = false;
};
std::optional<Decoded> primaryPicture(QIODevice *device, qint64 origin);

} // namespace HevcCodedSize
