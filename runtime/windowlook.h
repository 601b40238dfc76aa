#pragma once

#include <QFont>

class QWidget;

// How the windows place their controls and which font they write in.
namespace WindowLook {

// Places a control at a rectangle given in twips within its window's client area.
void place(QWidget *widget, int left, int top, int width, int height);

// The windows' font, 8.25 points: MS Sans Serif where the desktop has it, else a close sans.
QFont windowFont(bool bold = false);

} // namespace WindowLook
