#pragma once

#include "pictures/heifimageplugin/hevccodedsize.h"

#include <QImageIOHandler>
#include <QSize>

#include <memory>
#include <optional>

struct heif_context;
struct heif_image_handle;
struct HeifStream;

// Reads a HEIF picture (HEIC, HEIF, AVIF) with libheif: its primary image, upright by the file's
// own rotation and mirror. The size it reports is the upright one and no turn is left for the
// reader to make. libheif decodes only at full size (a grid's tiles on every core) and hands the
// picture over in planes; the picture is made at the size asked for (no larger than the whole)
// in one pass over them that averages and converts, on every core, and it is turned and mirrored
// once it has that size (libheif would copy the whole picture for each turn). A picture with a
// clean aperture is cropped, turned and mirrored by libheif. A file that cannot be read, or
// whose picture is over 200 megapixels, reads as no picture.
class HeifImageHandler : public QImageIOHandler
{
public:
    HeifImageHandler();
    ~HeifImageHandler() override;

    bool canRead() const override;
    bool read(QImage *image) override;
    QVariant option(ImageOption option) const override;
    void setOption(ImageOption option, const QVariant &value) override;
    bool supportsOption(ImageOption option) const override;

    // Whether device starts like a HEIF file that libheif can decode; reads nothing from it.
    static bool canRead(QIODevice *device);

private:
    // Reads the file's boxes once (not its coded picture); false when it holds no picture to show.
    bool load() const;
    // The picture at size (upright) from libheif's planes; Unusable when they come in a form
    // the plugin does not take.
    enum class Planar { Read, Failed, Unusable };
    Planar readPlanes(QImage *image, const QSize &size);
    // The picture converted to RGBA by libheif, then scaled smoothly to size.
    bool readConverted(QImage *image, const QSize &size);

    enum class State { Unread, Ready, Failed };
    mutable State m_state = State::Unread;
    mutable std::unique_ptr<HeifStream> m_stream;
    mutable heif_context *m_context = nullptr;
    mutable heif_image_handle *m_primary = nullptr;
    mutable QSize m_size;                                  // upright, pixels
    mutable std::optional<HevcCodedSize::Decoded> m_coded; // what its boxes say it decodes to
    QSize m_scaledSize; // asked for, pixels; invalid for the full size
};
