#include "viewer/picturedecoder.h"

#include "runtime/runtimeerror.h"

#include <QImageReader>

namespace PictureDecoder {

namespace {

bool turnsSideways(QImageIOHandler::Transformations transformation)
{
    return transformation.testFlag(QImageIOHandler::TransformationRotate90);
}

} // namespace

QSize naturalSize(const QString &path)
{
    QImageReader reader(path);
    reader.setAutoTransform(true);
    const QSize stored = reader.size();
    if (!stored.isValid())
        return {};
    return turnsSideways(reader.transformation()) ? stored.transposed() : stored;
}

Picture decode(const QString &path, const QSize &box)
{
    Picture result;
    QImageReader reader(path);
    reader.setAutoTransform(true);
    const QSize stored = reader.size();
    if (!reader.canRead() || !stored.isValid() || stored.isEmpty()) {
        result.error = RuntimeError::InvalidPicture;
        return result;
    }
    const bool sideways = turnsSideways(reader.transformation());
    result.natural = sideways ? stored.transposed() : stored;

    // A box of no size (a window too small) still gets a picture of one pixel.
    QSize fitted = result.natural;
    fitted.scale(box.expandedTo(QSize(1, 1)), Qt::KeepAspectRatio);
    fitted = fitted.expandedTo(QSize(1, 1));

    // Decode straight at the shown size when the picture is larger: the scaled size is given
    // in the stored orientation, before the EXIF turn.
    const bool shrink = fitted.width() < result.natural.width();
    if (shrink)
        reader.setScaledSize(sideways ? fitted.transposed() : fitted);
    QImage image = reader.read();
    if (image.isNull()) {
        result.error = RuntimeError::InvalidPicture;
        return result;
    }
    if (image.size() != fitted)
        image = image.scaled(fitted, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    result.image = image;
    return result;
}

} // namespace PictureDecoder
