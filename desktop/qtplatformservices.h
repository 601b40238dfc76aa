#pragma once

#include "desktop/platformservices.h"

// The desktop services on Qt: QFileDialog, QMessageBox, QApplication::beep, an override
// cursor, QPrinter on the default printer, and an immediate process exit.
class QtPlatformServices : public PlatformServices
{
public:
    QString getOpenFileName(QWidget *parent) override;
    void showMessage(QWidget *parent, const QString &text) override;
    void beep() override;
    void setMousePointer(int code) override;
    void preparePointers(QScreen *screen) override;
    void printImage(const QImage &image) override;
    void endProgram() override;

private:
    bool m_cursorSet = false;
};
