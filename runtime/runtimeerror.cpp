#include "runtime/runtimeerror.h"

RuntimeError::RuntimeError(int number) : RuntimeError(number, describe(number)) {}

RuntimeError::RuntimeError(int number, const QString &description)
    : m_number(number), m_description(description),
      m_what(QStringLiteral("%1 - %2").arg(number).arg(description).toUtf8())
{
}

QString RuntimeError::describe(int number)
{
    static constexpr struct
    {
        int number;
        QStringView text;
    } described[] = {
        {InvalidArgument, u"Chiamata di routine o argomento non validi"},
        {Overflow, u"Overflow"},
        {SubscriptOutOfRange, u"Indice non compreso nell'intervallo"},
        {FileNotFound, u"File non trovato"},
        {PathFileAccess, u"Errore di accesso al percorso/file"},
        {InvalidPicture, u"Immagine non valida"},
        {PrinterError, u"Errore della stampante"},
    };
    for (const auto &[known, text] : described)
        if (known == number)
            return text.toString();
    return QStringLiteral("Errore definito dall'applicazione o dall'oggetto");
}

QString errorNumberText(qint64 number)
{
    const QString digits = QString::number(number);
    return number >= 0 ? QLatin1Char(' ') + digits : digits;
}
