#include "viewer/picturebox.h"

#include <QPainter>

PictureBox::PictureBox(QWidget *parent) : QWidget(parent) {}

void PictureBox::setPicture(const QImage &picture, const QSize &naturalSize)
{
    m_image = picture;
    resize(naturalSize);
    update();
}

void PictureBox::paintEvent(QPaintEvent *)
{
    if (m_image.isNull())
        return;
    QPainter painter(this);
    painter.drawImage(rect(), m_image);
}
