#include "runtime/runtimeerror.h"

RuntimeError::RuntimeError(int number) : RuntimeError(number, describe(number)) {}

RuntimeError::RuntimeError(int number, const QString &description)
    : m_number(number), m_description(description),
      m_what(QStringLiteral("%1 - %2").arg(number).arg(description).toUtf8())
{
}

QString RuntimeError::describe(int number)
{
    switch (number) {
    case InvalidArgument:
        return QStringLiteral("Chiamata di routine o argomento non validi");
    case Overflow:
        return QStringLiteral("Overflow");
    case SubscriptOutOfRange:
        return QStringLiteral("Indice non compreso nell'intervallo");
    case FileNotFound:
        return QStringLiteral("File non trovato");
    case PathFileAccess:
        return QStringLiteral("Errore di accesso al percorso/file");
    case InvalidPicture:
        return QStringLiteral("Immagine non valida");
    case PrinterError:
        return QStringLiteral("Errore della stampante");
    default:
        return QStringLiteral("Errore definito dall'applicazione o dall'oggetto");
    }
}

QString errorNumberText(qint64 number)
{
    const QString digits = QString::number(number);
    return number >= 0 ? QLatin1Char(' ') + digits : digits;
}
