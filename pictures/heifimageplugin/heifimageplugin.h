#pragma once

#include <QImageIOPlugin>

// The picture formats read through libheif (HEIC, HEIF, AVIF), built into the program: every
// QImageReader finds them by the file's extension or, under any other name, by its content.
class HeifImagePlugin : public QImageIOPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QImageIOHandlerFactoryInterface_iid FILE "heifimageplugin.json")

public:
    explicit HeifImagePlugin(QObject *parent = nullptr);
    ~HeifImagePlugin() override;

    Capabilities capabilities(QIODevice *device, const QByteArray &format) const override;
    QImageIOHandler *create(QIODevice *device,
                            const QByteArray &format = QByteArray()) const override;
};
