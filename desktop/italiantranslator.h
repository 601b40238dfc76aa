#pragma once

#include <QTranslator>

class QCoreApplication;

// Qt's own texts (the file dialog, the message box's buttons) in Italian: Qt's catalogue from
// the translations package, plus the few texts of the file dialog that it leaves in English.
class ItalianTranslator : public QTranslator
{
    Q_OBJECT

public:
    explicit ItalianTranslator(QObject *parent);

    // Makes Italian the default locale and installs a translator, owned by the application.
    // Returns false when Qt's Italian catalogue is not installed (the gaps are still filled).
    static bool install(QCoreApplication &application);

    // Loads Qt's Italian catalogue from Qt's translations folder.
    bool loadQtCatalogue();

    QString translate(const char *context, const char *sourceText,
                      const char *disambiguation = nullptr, int n = -1) const override;
    bool isEmpty() const override { return false; }
};
