#pragma once

#include <QString>

class QImage;
class QScreen;
class QWidget;

// What the windows ask of the desktop: dialogs, messages, sounds, the pointer, the printer
// and the end of the program. The running program uses the Qt implementation; tests use a
// fake that records every call.
class PlatformServices
{
public:
    // Mouse pointer codes the program sets.
    enum Pointer { DefaultPointer = 0, Hourglass = 11 };

    virtual ~PlatformServices() = default;

    // A modal file-open dialog; the chosen file's full path, empty when nothing was chosen.
    virtual QString getOpenFileName(QWidget *parent) = 0;
    // A message box with the OK button only and the program's name as title; returns when closed.
    virtual void showMessage(QWidget *parent, const QString &text) = 0;
    // The system beep.
    virtual void beep() = 0;
    // The screen's mouse pointer: Hourglass or DefaultPointer. A new code replaces the last one.
    virtual void setMousePointer(int code) = 0;
    // Readies the pointers the program sets on screen, so that setting one is quick; the
    // pointer shown does not change.
    virtual void preparePointers(QScreen *screen) { (void)screen; }
    // Prints a window's image on the default printer, fitted to the page; raises the printer
    // error (482) when there is no default printer or the print fails.
    virtual void printImage(const QImage &image) = 0;
    // Ends the process at once with exit status 0.
    virtual void endProgram() = 0;
};
