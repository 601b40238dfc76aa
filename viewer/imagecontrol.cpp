#include "viewer/imagecontrol.h"

#include <QPainter>

ImageControl::ImageControl(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent, false);
}

void ImageControl::setPicture(const QImage &picture)
{
    m_image = picture;
    m_pixmap = QPixmap::fromImage(picture);
    update();
}

QRect ImageControl::pictureRect() const
{
    if (m_image.isNull() || width() <= 0 || height() <= 0)
        return {};
    const qreal ratio = m_image.devicePixelRatio() > 0 ? m_image.devicePixelRatio() : 1.0;
    QSize size = (QSizeF(m_image.size()) / ratio).toSize();
    size.scale(this->size(), Qt::KeepAspectRatio);
    return QRect(QPoint((width() - size.width()) / 2, (height() - size.height()) / 2), size);
}

void ImageControl::paintEvent(QPaintEvent *)
{
    if (m_pixmap.isNull())
        return;
    QPainter painter(this);
    const QRect target = pictureRect();
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawPixmap(target, m_pixmap);
}
