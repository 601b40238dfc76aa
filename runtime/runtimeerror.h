#pragma once

#include <QString>

#include <exception>

// A numbered runtime error with the description shown in the program's messages.
class RuntimeError : public std::exception
{
public:
    enum Number : int {
        InvalidArgument = 5,
        Overflow = 6,
        SubscriptOutOfRange = 9,
        FileNotFound = 53,
        PathFileAccess = 75,
        InvalidPicture = 481,
        PrinterError = 482,
    };

    // An error with the runtime's own description of its number.
    explicit RuntimeError(int number);
    // An error from outside the runtime (the media player) with its own text.
    RuntimeError(int number, const QString &description);

    int number() const { return m_number; }
    QString description() const { return m_description; }
    const char *what() const noexcept override { return m_what.constData(); }

    // The runtime's description of a number; the text of an application-defined error for a
    // number that is not one of its own.
    static QString describe(int number);

private:
    int m_number;
    QString m_description;
    QByteArray m_what;
};

// Decimal text of an error number as messages write it: a blank before it when not negative.
QString errorNumberText(qint64 number);
