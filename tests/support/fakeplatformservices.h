#pragma once

#include "desktop/platformservices.h"

#include <QImage>
#include <QStringList>

#include <optional>

// Desktop services for tests: answers the file dialog from a queue and records messages,
// beeps, pointers, printed images and the end of the program; prints for real through another
// service when asked to.
class FakePlatformServices : public PlatformServices
{
public:
    QString getOpenFileName(QWidget *parent) override;
    void showMessage(QWidget *parent, const QString &text) override;
    void beep() override;
    void setMousePointer(int code) override;
    void printImage(const QImage &image) override;
    void endProgram() override;

    QStringList dialogAnswers; // handed out one per dialog; empty answer when none left
    int dialogsShown = 0;
    QStringList messages;
    int beeps = 0;
    QList<int> pointers;
    QList<QImage> printed;
    std::optional<int> printError; // when set, printing raises this error number
    PlatformServices *printer = nullptr; // when set, images are printed through it
    int endRequests = 0;
};
