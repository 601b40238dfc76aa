#pragma once

#include <QFont>
#include <QString>

class QWidget;

// How the windows place their controls and which font they write in.
namespace WindowLook {

// Places a control at a rectangle given in twips within its window's client area.
void place(QWidget *widget, int left, int top, int width, int height);

// Tells screen readers what a control does: a short name and, where useful, a sentence more.
void describe(QWidget *widget, const QString &name, const QString &description = {});

// The windows' font, 8.25 points: MS Sans Serif where the desktop has it, else a close sans.
QFont windowFont(bool bold = false);

} // namespace WindowLook
