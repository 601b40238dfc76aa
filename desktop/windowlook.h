#pragma once

#include <QFont>
#include <QString>
#include <QStringList>

class QWidget;

// How the windows place their controls and which font they write in.
namespace WindowLook {

// Places a control at a rectangle given in twips within its window's client area.
void place(QWidget *widget, int left, int top, int width, int height);

// A font of the design, in points: the first of families that the desktop has, else the
// desktop's sans serif (never a fixed-width or serif stand-in).
QFont designFont(const QStringList &families, qreal points, bool bold = false);

// Tells screen readers what a control does: a short name and, where useful, a sentence more.
void describe(QWidget *widget, const QString &name, const QString &description = {});

// The windows' font, 8.25 points: MS Sans Serif where the desktop has it, else a close sans.
QFont windowFont(bool bold = false);

// Makes the control's font smaller, a quarter point at a time, until its caption shows whole
// in it, and so does each of otherCaptions (the other captions of a button that changes its
// caption); the fonts that stand in for the designed ones are often wider. A caption that fits
// keeps its font. A control with no caption of its own (a bar of controls) fits when its size
// hint does. Call it once the control is placed and has its font.
void fitCaption(QWidget *control, const QStringList &otherCaptions = {});

} // namespace WindowLook
