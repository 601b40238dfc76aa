#pragma once

#include <QImageIOHandler>
#include <QSize>

#include <memory>

struct heif_context;
struct heif_image_handle;
struct HeifStream;

// Reads a HEIF picture (HEIC, HEIF, AVIF) with libheif: its primary image, upright by the file's
// own rotation and mirror, which libheif applies while decoding. The size it reports is the
// upright one and no turn is left for the reader to make. libheif decodes only at full size, so a
// smaller size asked for is made with one smooth scale right after the decode. A file that cannot
// be read, or whose picture is over 200 megapixels, reads as no picture.
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

    enum class State { Unread, Ready, Failed };
    mutable State m_state = State::Unread;
    mutable std::unique_ptr<HeifStream> m_stream;
    mutable heif_context *m_context = nullptr;
    mutable heif_image_handle *m_primary = nullptr;
    mutable QSize m_size; // upright, pixels
    QSize m_scaledSize;   // asked for, pixels; invalid for the full size
};
