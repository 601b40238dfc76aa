#pragma once

#include <QImage>
#include <QPixmap>
#include <QWidget>

// The image control: keeps the size it is given and paints its picture inside it, centred,
// with its proportions kept. The picture comes decoded at (about) the size it is shown, so a
// paint only draws a ready pixmap.
class ImageControl : public QWidget
{
    Q_OBJECT

public:
    explicit ImageControl(QWidget *parent = nullptr);

    void setPicture(const QImage &picture);
    QImage picture() const { return m_image; }
    bool hasPicture() const { return !m_image.isNull(); }

    // Where the picture is drawn, in this control's coordinates.
    QRect pictureRect() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QImage m_image;
    QPixmap m_pixmap;
};
