#pragma once

#include <QString>

// The number at the start of a text, read the way the delay field is read:
// blanks, tabs and line feeds are dropped wherever they stand; a point is the only
// decimal separator; an exponent may be introduced by E or D; &H and &O introduce
// hexadecimal and octal numbers; reading stops at the first character that cannot
// continue the number. A text without a leading number gives 0.
// A number too large for a double raises the overflow error.
double Val(const QString &text);
