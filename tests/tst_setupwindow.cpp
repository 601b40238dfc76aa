// The setup window: its controls, Browse, a path given at start, CONFERMA and F I N E.
#include "music/qtmediaplayer.h"
#include "setup/setupwindow.h"
#include "viewer/viewerwindow.h"

#include "support/showfixture.h"
#include "support/testfiles.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace {

const QString NoSuchFolder = QStringLiteral("La cartella indicata non esiste !!!");

// Whether the control shows its caption whole: the caption, laid out where the style draws it,
// stays within that place, and no control stacked above covers it.
bool captionShowsWhole(QWidget *control)
{
    QRect place = control->contentsRect();
    QString caption;
    int flags = Qt::TextShowMnemonic | Qt::AlignCenter;
    if (auto *button = qobject_cast<QAbstractButton *>(control)) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = caption = button->text();
        const bool box = qobject_cast<QCheckBox *>(button);
        place = button->style()->subElementRect(
            box ? QStyle::SE_CheckBoxContents : QStyle::SE_PushButtonContents, &option, button);
    } else if (auto *label = qobject_cast<QLabel *>(control)) {
        caption = label->text();
        flags = int(label->alignment()) | (label->wordWrap() ? Qt::TextWordWrap : 0);
    }
    const QRect drawn = control->fontMetrics().boundingRect(place, flags, caption);
    if (caption.isEmpty() || !place.contains(drawn))
        return false;
    const QObjectList siblings = control->parentWidget()->children();
    for (QObject *object : siblings.mid(siblings.indexOf(control) + 1)) {
        auto *above = qobject_cast<QWidget *>(object);
        if (above && !qobject_cast<QLabel *>(above) && above->isVisible() &&
            above->geometry().intersects(drawn.translated(control->pos())))
            return false;
    }
    return true;
}

} // namespace

class SetupWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup() { m_show.reset(); }

    void startsWithItsDefaults();
    void controlsStandWhereDesigned();
    void captionsShowWhole_data();
    void captionsShowWhole();
    void browseTakesTheFolderAndTheDelay_data();
    void browseTakesTheFolderAndTheDelay();
    void aPathGivenAtStartFillsTheFolderAsBrowseDoes_data();
    void aPathGivenAtStartFillsTheFolderAsBrowseDoes();
    void confirmTakesTheFieldsAsTyped_data();
    void confirmTakesTheFieldsAsTyped();
    void confirmRefusesWhatIsNoFolder_data();
    void confirmRefusesWhatIsNoFolder();
    void confirmResetsTheShowAndOpensOneViewer();
    void endEndsTheProgramWithoutStoppingThePlayer();
    void aRuntimeErrorInAHandlerIsReportedAndTheWindowStaysUsable();

private:
    void browseTo(const QString &file)
    {
        m_show->services.dialogAnswers << file;
        ShowFixture::click(m_window->Command1);
    }
    void confirm() { ShowFixture::click(m_window->Command2); }
    SharedState &state() { return m_show->state(); }

    std::unique_ptr<ShowFixture> m_show;
    LARK_M1 *m_window = nullptr;
    QTemporaryDir m_dir;
};

void SetupWindowTest::init()
{
    m_show = std::make_unique<ShowFixture>();
    m_window = &m_show->setup();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
}

void SetupWindowTest::startsWithItsDefaults()
{
    const QList<std::pair<QString, QString>> texts = {
        {m_window->Text1->text(), ""},
        {m_window->Text2->text(), "1"},
        {m_window->Text3->text(), "JPG"},
        {m_window->Label3->text(), ""},
        {m_window->Command1->text(), "Sfoglia ..."},
        {m_window->Command2->text(), "CONFERMA"},
        {m_window->Command3->text(), "F I N E"},
        {m_window->Check1->text(), "Visione ciclica immagini"},
        {m_window->Label6_4->text(), "Album by Torvex(c)"},
        {m_window->Label6_5->text(), "Album by Torvex(c)"},
        {m_window->Label5->text().right(15), "delle immagini "},
    };
    for (const auto &[text, expected] : texts)
        QCOMPARE(text, expected);
    QVERIFY(m_window->Check1->isChecked());
    QTRY_VERIFY(m_window->Text1->hasFocus());
    QCOMPARE(state().ImageExtension, QStringLiteral(".JPG"));
    QVERIFY(!state().DelaySeconds.has_value());
    QVERIFY(m_show->viewer() == nullptr);
}

void SetupWindowTest::controlsStandWhereDesigned()
{
    // Twips over 15 give pixels.
    QCOMPARE(m_window->Text1->geometry(), QRect(17, 81, 431, 24));
    QCOMPARE(m_window->Command1->geometry(), QRect(456, 82, 59, 23));
    QCOMPARE(m_window->Command2->geometry(), QRect(328, 142, 90, 26));
    QCOMPARE(m_window->Text3->geometry(), QRect(464, 112, 49, 19));
    // The title's shadow stands just right of and below the title.
    QCOMPARE(m_window->Label6_5->pos() - m_window->Label6_4->pos(), QPoint(1, 1));
    QCOMPARE(m_window->Label6_4->palette().color(QPalette::WindowText), QColor(128, 128, 255));
    QCOMPARE(m_window->Text1->palette().color(QPalette::Base), QColor(0, 255, 255));
    QCOMPARE(m_window->Text2->palette().color(QPalette::Base), QColor(255, 128, 255));
    QCOMPARE(m_window->Text3->palette().color(QPalette::Base), QColor(128, 255, 255));
    QVERIFY(m_window->Label6_4->font().bold());

    // Tab goes round the fields and buttons in the designed order.
    QTRY_VERIFY(m_window->Text1->hasFocus());
    QWidget *w = m_window->Text1;
    for (QWidget *expected :
         QList<QWidget *>{m_window->Command1, m_window->Command2, m_window->Command3,
                          m_window->Text2, m_window->Check1, m_window->Text3}) {
        do
            w = w->nextInFocusChain();
        while (w->focusPolicy() == Qt::NoFocus);
        QCOMPARE(w, expected);
    }
}

void SetupWindowTest::captionsShowWhole_data()
{
    QTest::addColumn<int>("control"); // in the order of the test's list
    int control = 0;
    for (const char *name :
         {"Label1", "Label2", "Label4", "Label5", "Label6", "Command1", "Command2", "Command3",
          "Check1", "Musica", "time", "STAMPA", "USCITA", "PAUSA", "Continua"})
        QTest::newRow(name) << control++;
}

void SetupWindowTest::captionsShowWhole()
{
    QFETCH(int, control);
    auto *bar = new QtMediaPlayer; // the real control bar, with its own captions
    ShowFixture show(bar);
    LARK_M1 &w = show.setup();
    LARK_M7 &v = show.app->viewer();
    if (qstrcmp(QTest::currentDataTag(), "Continua") == 0)
        v.Command3->setText(QStringLiteral("Continua"));
    QWidget *const controls[] = {w.Label1,
                                 w.Label2,
                                 w.Label4,
                                 w.Label5,
                                 w.Label6_4,
                                 w.Command1,
                                 w.Command2,
                                 w.Command3,
                                 w.Check1,
                                 bar->findChild<QCheckBox *>(),
                                 bar->findChild<QLabel *>(),
                                 v.Command1,
                                 v.Command2,
                                 v.Command3,
                                 v.Command3};
    QVERIFY(captionShowsWhole(controls[control]));
}

void SetupWindowTest::browseTakesTheFolderAndTheDelay_data()
{
    QTest::addColumn<QString>("chosen"); // in the file dialog, empty when cancelled
    QTest::addColumn<QString>("delay");  // in its field
    QTest::addColumn<QString>("folder");
    QTest::addColumn<double>("seconds");
    const auto row = [](const char *tag, const char *chosen, const char *delay, const char *folder,
                        double seconds) {
        QTest::newRow(tag) << QString(chosen) << QString(delay) << QString(folder) << seconds;
    };
    row("a picture", "/foto/mare/A.JPG", "2.5", "/foto/mare/", 2.5);
    row("a comma stops the delay", "/foto/B.JPG", "2,5", "/foto/", 2.0);
    row("no separator", "A.JPG", "1", "A.JPG", 1.0);
    row("cancelled", "", "7", "/old/", 3.0);
}

void SetupWindowTest::browseTakesTheFolderAndTheDelay()
{
    QFETCH(QString, chosen);
    QFETCH(QString, delay);
    QFETCH(QString, folder);
    QFETCH(double, seconds);
    // As an earlier Browse left it.
    m_window->Text1->setText(state().ImageFolder = state().ShowFolder = QStringLiteral("/old/"));
    state().DelaySeconds = 3.0;
    m_window->Text2->setText(delay);
    browseTo(chosen);
    QCOMPARE(m_show->services.dialogsShown, 1);
    QCOMPARE(state().ImageFolder, folder);
    QCOMPARE(m_window->Text1->text(), folder);
    QCOMPARE(state().ShowFolder, chosen.isEmpty() ? QStringLiteral("/old/") : QString());
    QCOMPARE(state().DelaySeconds, std::optional<double>(seconds));
    // A later change of the delay field waits for the next Browse.
    m_window->Text2->setText(QStringLiteral("9"));
    QCOMPARE(state().DelaySeconds, std::optional<double>(seconds));
}

void SetupWindowTest::aPathGivenAtStartFillsTheFolderAsBrowseDoes_data()
{
    QTest::addColumn<QString>("path"); // in the temporary folder, which is the current one
    QTest::addColumn<bool>("taken");
    QTest::addColumn<QString>("extension");
    QTest::newRow("folder") << "Mare" << true << "JPG";
    QTest::newRow("folder with its separator") << "Mare/" << true << "JPG";
    QTest::newRow("picture") << "Mare/Onda.png" << true << "png";
    QTest::newRow("other file") << "Mare/Onda.MP3" << true << "JPG";
    QTest::newRow("nothing there") << "Monti" << false << "JPG";
}

void SetupWindowTest::aPathGivenAtStartFillsTheFolderAsBrowseDoes()
{
    QFETCH(QString, path);
    QFETCH(bool, taken);
    QFETCH(QString, extension);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("Mare")));
    TestFiles::writeBytes(dir.filePath(QStringLiteral("Mare/Onda.png")), "x");
    TestFiles::writeBytes(dir.filePath(QStringLiteral("Mare/Onda.MP3")), "x");
    const QString before = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));
    m_window->Text2->setText(QStringLiteral("2.5"));
    state().ShowFolder = QStringLiteral("/old/");
    m_window->openPath(path);
    QDir::setCurrent(before);

    const QString folder = taken ? dir.filePath(QStringLiteral("Mare/")) : QString();
    QCOMPARE(state().ImageFolder, folder);
    QCOMPARE(m_window->Text1->text(), folder);
    QCOMPARE(m_window->Text3->text(), extension);
    QCOMPARE(state().ShowFolder, taken ? QString() : QStringLiteral("/old/"));
    QCOMPARE(state().DelaySeconds, taken ? std::optional<double>(2.5) : std::nullopt);
    QCOMPARE(m_show->services.messages,
             taken ? QStringList()
                   : QStringList{QStringLiteral("La cartella o l'immagine indicata "
                                                "non esiste !!!\rMonti")});
    // The show waits for CONFERMA.
    QVERIFY(m_show->viewer() == nullptr);
}

void SetupWindowTest::confirmTakesTheFieldsAsTyped_data()
{
    // The folder field as typed after a Browse of the folder "browsed" (marks stand for the
    // test's folders); the extension field; what the show takes.
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("delay");
    QTest::addColumn<QString>("extension");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<double>("seconds");
    QTest::addColumn<QString>("taken");
    const auto row = [](const char *tag, const char *typed, const char *delay,
                        const QString &extension, const char *folder, double seconds,
                        const QString &taken) {
        QTest::newRow(tag) << QString(typed) << QString(delay) << extension << QString(folder)
                           << seconds << taken;
    };
    row("as browsed", "browsed/", "0.3", "JPG", "browsed/", 0.3, ".JPG");
    row("another folder typed, blanks around", "  typed ", "1", "jpg", "typed/", 1.0, ".jpg");
    row("typed with its separator", "typed/", "2", ".JPG", "typed/", 2.0, "..JPG");
    row("empty extension", "browsed/", "1", "", "browsed/", 1.0, ".");
    row("extension with blanks", "browsed/", "1", "  gif ", "browsed/", 1.0, ".gif");
    row("extension longer than 32767", "browsed/", "1", QString(40000, 'x'), "browsed/", 1.0,
        '.' + QString(40000, 'x'));
}

void SetupWindowTest::confirmTakesTheFieldsAsTyped()
{
    QFETCH(QString, typed);
    QFETCH(QString, delay);
    QFETCH(QString, extension);
    QFETCH(QString, folder);
    QFETCH(double, seconds);
    QFETCH(QString, taken);
    QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("browsed")));
    QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("typed")));
    const QString root = m_dir.path() + QLatin1Char('/');
    browseTo(root + QStringLiteral("browsed/A.JPG"));
    m_window->Text1->setText(typed.replace(QRegularExpression("(\\w+)"), root + "\\1"));
    m_window->Text2->setText(delay);
    m_window->Text3->setText(extension);
    confirm();
    QVERIFY(m_show->services.messages.isEmpty());
    QCOMPARE(m_show->services.beeps, 0);
    QCOMPARE(state().ImageFolder, root + folder);
    QCOMPARE(state().DelaySeconds, std::optional<double>(seconds));
    QCOMPARE(state().ImageExtension, taken);
}

void SetupWindowTest::confirmRefusesWhatIsNoFolder_data()
{
    QTest::addColumn<QString>("typed"); // in the temporary folder
    QTest::addColumn<int>("mode");      // of the folder "chiusa" made there
    QTest::addColumn<QString>("message");
    const QString blank = QStringLiteral("Indicare la cartella contenente immagini e suoni !!!");
    QTest::newRow("empty") << "" << 0700 << blank;
    QTest::newRow("blanks only") << "    " << 0700 << blank;
    QTest::newRow("missing") << "missing" << 0700 << NoSuchFolder;
    QTest::newRow("a file") << "A.JPG" << 0700 << NoSuchFolder;
    QTest::newRow("a folder that may not be read") << "chiusa" << 0300 << NoSuchFolder;
    QTest::newRow("a folder that may not be entered") << "chiusa" << 0600 << NoSuchFolder;
}

void SetupWindowTest::confirmRefusesWhatIsNoFolder()
{
    QFETCH(QString, typed);
    QFETCH(int, mode);
    QFETCH(QString, message);
    const QString locked = m_dir.filePath(QStringLiteral("chiusa"));
    QVERIFY(QDir().mkpath(locked));
    QCOMPARE(::chmod(QFile::encodeName(locked).constData(), mode_t(mode)), 0);
    TestFiles::writeBytes(m_dir.filePath(QStringLiteral("A.JPG")), "x");
    browseTo(m_dir.filePath(QStringLiteral("A.JPG")));
    state().ShowState = state().ShowStarted = 1;
    state().TrackCount = 5;
    m_window->Text1->setText(typed.trimmed().isEmpty() ? typed : m_dir.filePath(typed));
    m_window->Text3->setText(QStringLiteral("gif"));
    QVERIFY(TestFiles::obeyPermissions(true)); // as they stop a user, also where root runs it
    confirm();
    QVERIFY(TestFiles::obeyPermissions(false));
    QCOMPARE(m_show->services.beeps, 1);
    QCOMPARE(m_show->services.messages, QStringList{message});
    // Nothing else changes.
    QCOMPARE(int(state().ShowState), 1);
    QCOMPARE(int(state().ShowStarted), 1);
    QCOMPARE(int(state().TrackCount), 5);
    QCOMPARE(state().ImageExtension, QStringLiteral(".JPG"));
    QCOMPARE(state().ImageFolder, m_dir.path() + QLatin1Char('/'));
    QVERIFY(m_show->player.calls.isEmpty());
    QVERIFY(m_show->viewer() == nullptr);
    QCOMPARE(::chmod(QFile::encodeName(locked).constData(), 0700), 0);
}

void SetupWindowTest::confirmResetsTheShowAndOpensOneViewer()
{
    browseTo(m_dir.filePath(QStringLiteral("A.JPG")));
    state().ShowStarted = state().ShowState = 1;
    state().TrackCount = 7;
    state().TrackPos = 3;
    m_show->player.musicSwitch = false;
    confirm();
    QCOMPARE(int(state().ShowStarted), 0);
    QCOMPARE(int(state().ShowState), 0);
    QCOMPARE(int(state().TrackCount), 0);
    QCOMPARE(int(state().TrackPos), 0);
    QCOMPARE(int(state().MusicEnabled), 0);
    QCOMPARE(m_show->player.calls, QStringList{QStringLiteral("switch")});

    LARK_M7 *viewer = m_show->viewer();
    QVERIFY(viewer && viewer->isVisible() && !viewer->isModal());
    QVERIFY(viewer->windowState() & Qt::WindowMaximized);
    QVERIFY(m_window->isVisible());

    // A second confirmation takes the switch again, in the same viewer.
    viewer->Command3->setText(QStringLiteral("marked"));
    m_show->player.musicSwitch = true;
    confirm();
    QCOMPARE(int(state().MusicEnabled), 1);
    QCOMPARE(m_show->viewer(), viewer);
    QCOMPARE(viewer->Command3->text(), QStringLiteral("marked"));
    int viewers = 0;
    for (QWidget *w : QApplication::topLevelWidgets())
        viewers += qobject_cast<LARK_M7 *>(w) ? 1 : 0;
    QCOMPARE(viewers, 1);
}

void SetupWindowTest::endEndsTheProgramWithoutStoppingThePlayer()
{
    ShowFixture::click(m_window->Command3);
    // The music ends with the process: the player is not asked anything.
    QVERIFY(m_show->player.calls.isEmpty());
    QCOMPARE(m_show->services.endRequests, 1);
}

void SetupWindowTest::aRuntimeErrorInAHandlerIsReportedAndTheWindowStaysUsable()
{
    m_window->Text2->setText(QStringLiteral("9E999"));
    browseTo(QStringLiteral("/foto/A.JPG"));
    QCOMPARE(m_show->services.messages,
             QStringList{QStringLiteral("Errore di run-time '6':\r\rOverflow")});
    m_window->Text2->setText(QStringLiteral("3"));
    browseTo(QStringLiteral("/foto/A.JPG"));
    QCOMPARE(state().DelaySeconds, std::optional<double>(3.0));
}

QTEST_MAIN(SetupWindowTest)
#include "tst_setupwindow.moc"
