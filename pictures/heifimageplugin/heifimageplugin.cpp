#include "pictures/heifimageplugin/heifimageplugin.h"

#include "pictures/heifimageplugin/heifimagehandler.h"

namespace {

bool isHeifFormat(const QByteArray &format)
{
    return format == "heic" || format == "heif" || format == "avif";
}

} // namespace

// libheif itself is loaded with the first HEIF picture read.
HeifImagePlugin::HeifImagePlugin(QObject *parent) : QImageIOPlugin(parent) {}

HeifImagePlugin::~HeifImagePlugin() = default;

QImageIOPlugin::Capabilities HeifImagePlugin::capabilities(QIODevice *device,
                                                           const QByteArray &format) const
{
    // Named as one of ours, the reader still asks the handler whether the content is.
    if (isHeifFormat(format))
        return CanRead;
    if (!format.isEmpty() || !device || !device->isOpen())
        return {};
    return HeifImageHandler::canRead(device) ? CanRead : Capabilities();
}

QImageIOHandler *HeifImagePlugin::create(QIODevice *device, const QByteArray &format) const
{
    auto *handler = new HeifImageHandler;
    handler->setDevice(device);
    handler->setFormat(format);
    return handler;
}
