#include "runtime/qtplatformservices.h"

#include "runtime/runtimeerror.h"

#include <QApplication>
#include <QFileDialog>
#include <QGuiApplication>
#include <QImage>
#include <QMessageBox>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>

#include <cstdio>
#include <unistd.h>

namespace {

// The title of the program's message boxes and printed documents.
const QString ProgramTitle = QStringLiteral("Album");

} // namespace

QString QtPlatformServices::getOpenFileName(QWidget *parent)
{
    return QFileDialog::getOpenFileName(parent);
}

void QtPlatformServices::showMessage(QWidget *parent, const QString &text)
{
    // Messages break their lines with a carriage return; the box needs line feeds.
    QString shown = text;
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QMessageBox box(QMessageBox::NoIcon, ProgramTitle, shown,
                    QMessageBox::Ok, parent);
    box.exec();
}

void QtPlatformServices::beep() { QApplication::beep(); }

void QtPlatformServices::setMousePointer(int code)
{
    if (code == Hourglass) {
        // Replace, never stack: one restore always brings the default back.
        if (m_cursorSet)
            QGuiApplication::changeOverrideCursor(Qt::WaitCursor);
        else
            QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        m_cursorSet = true;
    } else if (m_cursorSet) {
        QGuiApplication::restoreOverrideCursor();
        m_cursorSet = false;
    }
}

void QtPlatformServices::printImage(const QImage &image)
{
    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull())
        throw RuntimeError(RuntimeError::PrinterError);
    QPrinter printer(info, QPrinter::HighResolution);
    printer.setDocName(ProgramTitle);
    QPainter painter;
    if (!painter.begin(&printer))
        throw RuntimeError(RuntimeError::PrinterError);
    const QRect page = painter.viewport();
    QSize size = image.size();
    size.scale(page.size(), Qt::KeepAspectRatio);
    painter.setViewport(page.x() + (page.width() - size.width()) / 2,
                        page.y() + (page.height() - size.height()) / 2, size.width(),
                        size.height());
    painter.setWindow(image.rect());
    painter.drawImage(0, 0, image);
    if (!painter.end())
        throw RuntimeError(RuntimeError::PrinterError);
}

void QtPlatformServices::endProgram()
{
    std::fflush(nullptr);
    ::_exit(0);
}
