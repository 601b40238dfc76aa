#include "desktop/italiantranslator.h"
#include "desktop/qtplatformservices.h"

#include <QAbstractFileIconProvider>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
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
    void theMessageBoxShowsTheTextWithItsLinesAndOneButton_data();
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

void TranslationsTest::theMessageBoxShowsTheTextWithItsLinesAndOneButton_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("lines");
    QTest::newRow("two lines") << QStringLiteral("Immagine X\r di formato non compatibile !!!")
                               << QStringLiteral("Immagine X\n di formato non compatibile !!!");
    // A path far wider than the screen is broken over lines, every character kept.
    const QString path = QLatin1Char('/') + QStringLiteral("cartella").repeated(500);
    QTest::newRow("a long path") << QStringLiteral("Non esiste !!!\r") + path
                                 << QStringLiteral("Non esiste !!!\n") + path;
}

void TranslationsTest::theMessageBoxShowsTheTextWithItsLinesAndOneButton()
{
    QFETCH(QString, message);
    QFETCH(QString, lines);
    QtPlatformServices services;
    bool seen = false;
    QString text;
    QStringList buttons;
    bool within = false;
    inspectNextDialog<QMessageBox>(
        [&](QMessageBox *box) {
            text = box->text();
            for (QAbstractButton *button : box->buttons())
                buttons << button->text();
            // The box stays on its screen, and its text is not cut off.
            const auto *label = box->findChild<QLabel *>(QStringLiteral("qt_msgbox_label"));
            within = box->screen()->availableGeometry().contains(box->frameGeometry()) &&
                     label->minimumSizeHint().width() <= label->width();
        },
        seen);
    QWidget parent;
    services.showMessage(&parent, message);
    QVERIFY(seen);
    QCOMPARE(text.count(QLatin1Char('\n')) > lines.count(QLatin1Char('\n')), lines.size() > 1000);
    QCOMPARE(text.remove(QLatin1Char('\n')), lines.remove(QLatin1Char('\n')));
    QCOMPARE(buttons, QStringList{QStringLiteral("OK")});
    QVERIFY(within);
}

QTEST_MAIN(TranslationsTest)
#include "tst_translations.moc"
