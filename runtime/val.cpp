#include "runtime/val.h"

#include "runtime/runtimeerror.h"

#include <cmath>

namespace {

bool isDigit(QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); }

// &H and &O numbers: up to 16 bits they read as a signed 16-bit value, above as 32 bits.
double radixValue(const QString &s, int radix)
{
    quint64 value = 0;
    int digits = 0;
    for (QChar c : s) {
        int d = -1;
        if (isDigit(c))
            d = c.digitValue();
        else if (c.toLower() >= QLatin1Char('a') && c.toLower() <= QLatin1Char('f'))
            d = c.toLower().unicode() - 'a' + 10;
        if (d < 0 || d >= radix)
            break;
        value = value * radix + quint64(d);
        ++digits;
        if (value > 0xFFFFFFFFull)
            throw RuntimeError(RuntimeError::Overflow);
    }
    if (digits == 0)
        return 0;
    if (value <= 0xFFFF)
        return double(qint16(quint16(value)));
    return double(qint32(quint32(value)));
}

// Appends to out the sign of s at i, if there is one, and moves i past it.
void takeSign(const QString &s, int &i, QString &out)
{
    if (i < s.size() && (s[i] == QLatin1Char('+') || s[i] == QLatin1Char('-')))
        out.append(s[i++]);
}

// Appends to out the run of decimal digits of s from i on, moves i past it; returns its length.
int takeDigits(const QString &s, int &i, QString &out)
{
    const int start = i;
    while (i < s.size() && isDigit(s[i]))
        out.append(s[i++]);
    return i - start;
}

} // namespace

double Val(const QString &text)
{
    QString s;
    s.reserve(text.size());
    for (QChar c : text) {
        if (c != QLatin1Char(' ') && c != QLatin1Char('\t') && c != QLatin1Char('\n'))
            s.append(c);
    }

    if (s.size() >= 2 && s[0] == QLatin1Char('&')) {
        const QChar kind = s[1].toUpper();
        if (kind == QLatin1Char('H'))
            return radixValue(s.mid(2), 16);
        if (kind == QLatin1Char('O'))
            return radixValue(s.mid(2), 8);
        return 0;
    }

    // Collect the longest leading text of the form [sign] digits [. digits] [E|D [sign] digits].
    QString number;
    int i = 0;
    const int n = int(s.size());
    takeSign(s, i, number);
    int mantissaDigits = takeDigits(s, i, number);
    if (i < n && s[i] == QLatin1Char('.')) {
        number.append(s[i++]);
        mantissaDigits += takeDigits(s, i, number);
    }
    if (mantissaDigits == 0)
        return 0;
    if (i < n && (s[i].toUpper() == QLatin1Char('E') || s[i].toUpper() == QLatin1Char('D'))) {
        int j = i + 1;
        QString exponent = QStringLiteral("e");
        takeSign(s, j, exponent);
        if (takeDigits(s, j, exponent) > 0)
            number.append(exponent);
    }

    bool ok = false;
    const double value = number.toDouble(&ok);
    if (std::isinf(value) || (!ok && value != 0))
        throw RuntimeError(RuntimeError::Overflow);
    return ok ? value : 0;
}
