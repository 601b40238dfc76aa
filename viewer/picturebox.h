#pragma once

#include <QImage>
#include <QWidget>

// The measuring box: holds the picture last loaded and takes its natural (upright) size.
// It stays hidden; the show reads its width and height to choose the picture's shape.
class PictureBox : public QWidget
{
    Q_OBJECT

public:
    explicit PictureBox(QWidget *parent = nullptr);

    // A picture whose natural size is naturalSize (pixels), held as decoded.
    void setPicture(const QImage &picture, const QSize &naturalSize);
    QImage picture() const { return m_image; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QImage m_image;
};
