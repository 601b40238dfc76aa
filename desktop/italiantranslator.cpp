#include "desktop/italiantranslator.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>

#include <cstring>

namespace {

struct Gap
{
    const char *context;
    const char *source;
    const char *italian;
};

// Texts that Qt's Italian catalogue does not carry: the file dialog's "Tipo" column names
// folders and drives with the first ones; the help of the command line describes its help
// options with the others.
constexpr Gap Gaps[] = {
    {"QAbstractFileIconProvider", "Folder", "Cartella"},
    {"QAbstractFileIconProvider", "Drive", "Unità"},
    {"QAbstractFileIconProvider", "Unknown", "Sconosciuto"},
    {"QCommandLineParser", "Displays help on commandline options.",
     "Mostra l'aiuto sulle opzioni della riga di comando."},
    {"QCommandLineParser", "Displays help including Qt specific options.",
     "Mostra l'aiuto, comprese le opzioni specifiche di Qt."},
};

} // namespace

ItalianTranslator::ItalianTranslator(QObject *parent) : QTranslator(parent) {}

bool ItalianTranslator::install(QCoreApplication &application)
{
    QLocale::setDefault(QLocale(QLocale::Italian, QLocale::Italy));
    auto *translator = new ItalianTranslator(&application);
    const bool loaded = translator->loadQtCatalogue();
    QCoreApplication::installTranslator(translator);
    return loaded;
}

bool ItalianTranslator::loadQtCatalogue()
{
    // "qt" gathers qtbase (dialogs, buttons) and qtmultimedia (the player's error texts).
    return load(QLocale(QLocale::Italian), QStringLiteral("qt"), QStringLiteral("_"),
                QLibraryInfo::path(QLibraryInfo::TranslationsPath));
}

QString ItalianTranslator::translate(const char *context, const char *sourceText,
                                     const char *disambiguation, int n) const
{
    if (context && sourceText) {
        for (const Gap &gap : Gaps) {
            if (std::strcmp(context, gap.context) == 0 && std::strcmp(sourceText, gap.source) == 0)
                return QString::fromUtf8(gap.italian);
        }
    }
    return QTranslator::translate(context, sourceText, disambiguation, n);
}
