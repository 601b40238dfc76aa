#include "desktop/qtplatformservices.h"

#include "desktop/eventyield.h"
#include "runtime/paths.h"
#include "runtime/runtimeerror.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QFileDialog>
#include <QGuiApplication>
#include <QImage>
#include <QMessageBox>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QScreen>
#include <QWindow>

#include <algorithm>
#include <cstdio>
#include <unistd.h>

namespace {

// The title of the program's message boxes and printed documents.
const QString ProgramTitle = QStringLiteral("Album");

// The text with every word wider than width pixels (a long path) broken over lines of that
// width: the box breaks lines only between words, and would otherwise grow past the screen
// or cut the word off. The characters stay as they are.
QString breakLongWords(const QString &text, const QFontMetrics &metrics, int width)
{
    QString broken;
    int wordWidth = 0;
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype length = text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const QStringView character = QStringView(text).mid(i, length);
        i += length;
        if (character == u"\n" || character == u" ") {
            wordWidth = 0;
        } else {
            const int advance = metrics.horizontalAdvance(character.toString());
            if (wordWidth > 0 && wordWidth + advance > width) {
                broken += QLatin1Char('\n');
                wordWidth = 0;
            }
            wordWidth += advance;
        }
        broken += character;
    }
    return broken;
}

} // namespace

QString QtPlatformServices::getOpenFileName(QWidget *parent)
{
    return QFileDialog::getOpenFileName(parent);
}

void QtPlatformServices::showMessage(QWidget *parent, const QString &text)
{
    // Messages break their lines with a carriage return; the box needs line feeds. A path's
    // stray bytes show as U+FFFD.
    QString shown = Paths::forDisplay(text);
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    // A message for a window that is not on screen yet (a path named at start) waits until
    // the window manager has placed it, a second at most: the box is centred on its window.
    if (parent && parent->isVisible()) {
        const QWindow *window = parent->window()->windowHandle();
        const QDeadlineTimer limit(1000);
        while (window && !window->isExposed() && !limit.hasExpired())
            EventYield::waitForEvents(int(limit.remainingTime()));
    }
    QMessageBox box(QMessageBox::NoIcon, ProgramTitle, QString(), QMessageBox::Ok, parent);
    // Lines no wider than the box may grow on this screen: Qt's limit is 1000 pixels, or the
    // screen's width on a small screen; the rest is the box's margins.
    const QScreen *screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
    const int width = screen ? std::min(screen->availableGeometry().width() - 120, 880) : 880;
    box.setText(breakLongWords(shown, box.fontMetrics(), std::max(width, 200)));
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

void QtPlatformServices::preparePointers(QScreen *screen)
{
    // A desktop's hourglass may be a large animated one (GNOME's takes 45 ms to load), which
    // would hold the show's first picture back. Set once on a window never shown, it is ready
    // for every window of the screen.
    QWindow window(screen);
    window.create();
    window.setCursor(Qt::WaitCursor);
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
