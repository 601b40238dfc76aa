#include "runtime/italiantranslator.h"
#include "runtime/qtplatformservices.h"

#include <QAbstractFileIconProvider>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

// Qt's own dialogs as the program opens them, in Italian.
class TranslationsTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void theFileDialogSpeaksItalian();
    void theFileDialogNamesFoldersInItalian();
    void theMessageBoxShowsTheTextWithItsLinesAndOneButton();

private:
    // Runs check on the dialog the program opens next, then closes it.
    template <typename Dialog>
    void inspectNextDialog(std::function<void(Dialog *)> check, bool &seen);
};

void TranslationsTest::initTestCase()
{
    QVERIFY2(ItalianTranslator::install(*qApp),
             "Qt's Italian catalogue is missing: install qt6-translations-l10n");
    QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
}

template <typename Dialog>
void TranslationsTest::inspectNextDialog(std::function<void(Dialog *)> check, bool &seen)
{
    QTimer::singleShot(0, this, [check, &seen] {
        auto *dialog = qobject_cast<Dialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        seen = true;
        check(dialog);
        dialog->reject();
    });
}

void TranslationsTest::theFileDialogSpeaksItalian()
{
    QtPlatformServices services;
    bool seen = false;
    QString title;
    QStringList buttons;
    QStringList labels;
    inspectNextDialog<QFileDialog>(
        [&](QFileDialog *dialog) {
            title = dialog->windowTitle();
            for (QAbstractButton *button : dialog->findChild<QDialogButtonBox *>()->buttons())
                buttons << button->text().remove(QLatin1Char('&'));
            for (const char *name : {"lookInLabel", "fileNameLabel", "fileTypeLabel"})
                labels << dialog->findChild<QLabel *>(QLatin1String(name))
                              ->text()
                              .remove(QLatin1Char('&'));
        },
        seen);
    QWidget parent;
    QCOMPARE(services.getOpenFileName(&parent), QString());
    QVERIFY(seen);
    QCOMPARE(title, QStringLiteral("Apri"));
    QCOMPARE(buttons, (QStringList{"Apri", "Annulla"}));
    QCOMPARE(labels, (QStringList{"Cerca in:", "Nome del file:", "File di tipo:"}));
}

void TranslationsTest::theFileDialogNamesFoldersInItalian()
{
    // The "Tipo" column: Qt's catalogue leaves these in English.
    QTemporaryDir folder;
    const QAbstractFileIconProvider provider;
    QCOMPARE(provider.type(QFileInfo(folder.path())), QStringLiteral("Cartella"));
    QCOMPARE(provider.type(QFileInfo(QStringLiteral("/"))), QStringLiteral("Unità"));
    // Texts of other contexts still come from Qt's catalogue.
    QCOMPARE(QCoreApplication::translate("QFileDialog", "&New Folder"),
             QStringLiteral("&Nuova cartella"));
}

void TranslationsTest::theMessageBoxShowsTheTextWithItsLinesAndOneButton()
{
    QtPlatformServices services;
    bool seen = false;
    QString text;
    QStringList buttons;
    inspectNextDialog<QMessageBox>(
        [&](QMessageBox *box) {
            text = box->text();
            for (QAbstractButton *button : box->buttons())
                buttons << button->text();
        },
        seen);
    QWidget parent;
    services.showMessage(&parent, QStringLiteral("Immagine X\r di formato non compatibile !!!"));
    QVERIFY(seen);
    QCOMPARE(text, QStringLiteral("Immagine X\n di formato non compatibile !!!"));
    QCOMPARE(buttons, QStringList{QStringLiteral("OK")});
}

QTEST_MAIN(TranslationsTest)
#include "tst_translations.moc"
