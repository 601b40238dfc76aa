#include "fakeplatformservices.h"

#include "runtime/runtimeerror.h"

QString FakePlatformServices::getOpenFileName(QWidget *)
{
    ++dialogsShown;
    return dialogAnswers.isEmpty() ? QString() : dialogAnswers.takeFirst();
}

void FakePlatformServices::showMessage(QWidget *, const QString &text) { messages << text; }

void FakePlatformServices::beep() { ++beeps; }

void FakePlatformServices::setMousePointer(int code) { pointers << code; }

void FakePlatformServices::printImage(const QImage &image)
{
    if (printError)
        throw RuntimeError(*printError);
    if (printer)
        printer->printImage(image);
    printed << image;
}

void FakePlatformServices::endProgram() { ++endRequests; }
