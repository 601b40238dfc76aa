#include "app/albumapplication.h"
#include "music/qtmediaplayer.h"
#include "setup/setupwindow.h"
#include "viewer/viewerwindow.h"

#include "support/fakemediaplayer.h"
#include "support/fakeplatformservices.h"
#include "support/testfiles.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

// Gives this thread root's rights to read and enter any file and folder, or sets them aside so
// that permissions stop root as they stop a user; false where that cannot be done.
static bool rootOverridesPermissions(bool overrides)
{
    __user_cap_header_struct header = {_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct sets[_LINUX_CAPABILITY_U32S_3];
    if (::syscall(SYS_capget, &header, sets) != 0)
        return false;
    const quint32 rights = (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH); // first word
    sets[0].effective =
        overrides ? sets[0].effective | (sets[0].permitted & rights) : sets[0].effective & ~rights;
    return ::syscall(SYS_capset, &header, sets) == 0;
}

class SetupWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void startsWithItsDefaults();
    void controlsStandWhereDesigned();
    void captionsShowWhole_data();
    void captionsShowWhole();
    void browseTakesTheFolderAndTheDelay();
    void browseWithoutSeparatorTakesTheWholeName();
    void cancelledBrowseChangesNothing();
    void aPathGivenAtStartFillsTheFolderAsBrowseDoes_data();
    void aPathGivenAtStartFillsTheFolderAsBrowseDoes();
    void confirmRefusesABlankFolderField_data();
    void confirmRefusesABlankFolderField();
    void confirmTakesTheExtensionAsTyped_data();
    void confirmTakesTheExtensionAsTyped();
    void confirmResetsTheShowAndReadsTheMusicSwitch();
    void confirmTakesATypedFolder();
    void confirmRefusesATypedPathThatIsNoFolder();
    void confirmTakesTheDelayField();
    void twoConfirmationsOpenOneViewer();
    void endStopsTheMusicAndEndsTheProgram();
    void aRuntimeErrorInAHandlerIsReportedAndTheWindowStaysUsable();

private:
    void browseTo(const QString &file);
    void confirm();

    std::unique_ptr<FakePlatformServices> m_services;
    std::unique_ptr<FakeMediaPlayer> m_player;
    std::unique_ptr<AlbumApplication> m_app;
    LARK_M1 *m_window = nullptr;
};

void SetupWindowTest::init()
{
    m_services = std::make_unique<FakePlatformServices>();
    m_player = std::make_unique<FakeMediaPlayer>();
    m_app = std::make_unique<AlbumApplication>(*m_services, *m_player);
    m_window = &m_app->setupWindow();
    m_app->start();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
}

void SetupWindowTest::cleanup()
{
    m_app.reset();
    m_player.reset();
    m_services.reset();
}

void SetupWindowTest::browseTo(const QString &file)
{
    m_services->dialogAnswers << file;
    QTest::mouseClick(m_window->Command1, Qt::LeftButton);
}

void SetupWindowTest::confirm() { QTest::mouseClick(m_window->Command2, Qt::LeftButton); }

void SetupWindowTest::startsWithItsDefaults()
{
    QCOMPARE(m_window->Text1->text(), QString());
    QCOMPARE(m_window->Text2->text(), QStringLiteral("1"));
    QCOMPARE(m_window->Text3->text(), QStringLiteral("JPG"));
    QVERIFY(m_window->Check1->isChecked());
    QCOMPARE(m_window->Label3->text(), QString());
    QTRY_VERIFY(m_window->Text1->hasFocus());
    QCOMPARE(m_app->state().ImageExtension, QStringLiteral(".JPG"));
    QVERIFY(!m_app->state().DelaySeconds.has_value());
    QCOMPARE(m_app->state().delayValue(), 0.0);
    QCOMPARE(m_window->Command1->text(), QStringLiteral("Sfoglia ..."));
    QCOMPARE(m_window->Command2->text(), QStringLiteral("CONFERMA"));
    QCOMPARE(m_window->Command3->text(), QStringLiteral("F I N E"));
    QCOMPARE(m_window->Check1->text(), QStringLiteral("Visione ciclica immagini"));
    QCOMPARE(m_window->Label6_4->text(), QStringLiteral("Album by Torvex(c)"));
    QCOMPARE(m_window->Label6_5->text(), m_window->Label6_4->text());
    QVERIFY(m_window->Label5->text().endsWith(QStringLiteral("delle immagini ")));
    QVERIFY(m_app->viewerIfLoaded() == nullptr);
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
    const QList<QWidget *> order = {m_window->Command1, m_window->Command2, m_window->Command3,
                                    m_window->Text2, m_window->Check1, m_window->Text3};
    QWidget *w = m_window->Text1;
    for (QWidget *expected : order) {
        w = w->nextInFocusChain();
        while (w->focusPolicy() == Qt::NoFocus)
            w = w->nextInFocusChain();
        QCOMPARE(w, expected);
    }
}

// Whether the control shows its caption whole: the style's size for it fits the part of the
// control that no control stacked above it covers.
static bool captionShowsWhole(QWidget *control)
{
    int room = control->width();
    const QObjectList siblings = control->parentWidget()->children();
    for (QObject *object : siblings.mid(siblings.indexOf(control) + 1))
        if (auto *above = qobject_cast<QWidget *>(object);
            above && above->geometry().intersects(control->geometry()))
            room = qMin(room, above->x() - control->x());
    if (auto *label = qobject_cast<QLabel *>(control); label && label->wordWrap())
        return label->heightForWidth(label->width()) <= label->height();
    int need = control->sizeHint().width();
    if (auto *button = qobject_cast<QPushButton *>(control)) {
        QStyleOptionButton option; // no text in it: Fusion makes any button with one 80 pixels wide
        option.initFrom(button);
        const QSize text = button->fontMetrics().size(Qt::TextShowMnemonic, button->text());
        need =
            button->style()->sizeFromContents(QStyle::CT_PushButton, &option, text, button).width();
    }
    return need <= room && control->fontMetrics().height() <= control->height();
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
    AlbumApplication app(*m_services, *m_player, bar);
    app.start();
    LARK_M1 &w = app.setupWindow();
    LARK_M7 &v = app.viewer();
    if (qstrcmp(QTest::currentDataTag(), "Continua") == 0)
        v.Command3->setText(QStringLiteral("Continua"));
    QWidget *musica = bar->findChild<QCheckBox *>();
    QWidget *time = bar->findChild<QLabel *>();
    QWidget *const controls[] = {w.Label1,   w.Label2,   w.Label4,   w.Label5,   w.Label6_4,
                                 w.Command1, w.Command2, w.Command3, w.Check1,   musica,
                                 time,       v.Command1, v.Command2, v.Command3, v.Command3};
    QVERIFY(captionShowsWhole(controls[control]));
}

void SetupWindowTest::browseTakesTheFolderAndTheDelay()
{
    m_window->Text2->setText(QStringLiteral("2.5"));
    m_app->state().ShowFolder = QStringLiteral("/old/");
    browseTo(QStringLiteral("/foto/mare/A.JPG"));
    QCOMPARE(m_services->dialogsShown, 1);
    QCOMPARE(m_app->state().ImageFolder, QStringLiteral("/foto/mare/"));
    QCOMPARE(m_window->Text1->text(), QStringLiteral("/foto/mare/"));
    QCOMPARE(m_app->state().ShowFolder, QString());
    QCOMPARE(m_app->state().DelaySeconds, std::optional<double>(2.5));

    // A later change of the delay field waits for the next Browse.
    m_window->Text2->setText(QStringLiteral("2,5"));
    QCOMPARE(m_app->state().DelaySeconds, std::optional<double>(2.5));
    browseTo(QStringLiteral("/foto/B.JPG"));
    QCOMPARE(m_app->state().DelaySeconds, std::optional<double>(2.0));
    QCOMPARE(m_app->state().ImageFolder, QStringLiteral("/foto/"));
}

void SetupWindowTest::browseWithoutSeparatorTakesTheWholeName()
{
    browseTo(QStringLiteral("A.JPG"));
    QCOMPARE(m_app->state().ImageFolder, QStringLiteral("A.JPG"));
    QCOMPARE(m_window->Text1->text(), QStringLiteral("A.JPG"));
}

void SetupWindowTest::cancelledBrowseChangesNothing()
{
    browseTo(QStringLiteral("/foto/A.JPG"));
    m_window->Text2->setText(QStringLiteral("7"));
    m_app->state().ShowFolder = QStringLiteral("/foto/");
    browseTo(QString());
    QCOMPARE(m_services->dialogsShown, 2);
    QCOMPARE(m_app->state().ImageFolder, QStringLiteral("/foto/"));
    QCOMPARE(m_app->state().ShowFolder, QStringLiteral("/foto/"));
    QCOMPARE(m_window->Text1->text(), QStringLiteral("/foto/"));
    QCOMPARE(m_app->state().DelaySeconds, std::optional<double>(1.0));
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
    m_app->state().ShowFolder = QStringLiteral("/old/");
    m_window->openPath(path);
    QDir::setCurrent(before);

    const QString folder = taken ? dir.filePath(QStringLiteral("Mare/")) : QString();
    QCOMPARE(m_app->state().ImageFolder, folder);
    QCOMPARE(m_window->Text1->text(), folder);
    QCOMPARE(m_window->Text3->text(), extension);
    QCOMPARE(m_app->state().ShowFolder, taken ? QString() : QStringLiteral("/old/"));
    QCOMPARE(m_app->state().DelaySeconds, taken ? std::optional<double>(2.5) : std::nullopt);
    QCOMPARE(m_services->messages,
             taken ? QStringList()
                   : QStringList{QStringLiteral("La cartella o l'immagine indicata "
                                                "non esiste !!!\rMonti")});
    // The show waits for CONFERMA.
    QVERIFY(m_app->viewerIfLoaded() == nullptr);
}

void SetupWindowTest::confirmRefusesABlankFolderField_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << "";
    QTest::newRow("blanks only") << "    ";
}

void SetupWindowTest::confirmRefusesABlankFolderField()
{
    QFETCH(QString, text);
    SharedState &state = m_app->state();
    state.ShowState = 1;
    state.ShowStarted = 1;
    state.TrackCount = 5;
    m_window->Text1->setText(text);
    m_window->Text3->setText(QStringLiteral("gif"));
    confirm();
    QCOMPARE(m_services->beeps, 1);
    QCOMPARE(m_services->messages,
             QStringList{QStringLiteral("Indicare la cartella contenente immagini e suoni !!!")});
    QCOMPARE(int(state.ShowState), 1);
    QCOMPARE(int(state.ShowStarted), 1);
    QCOMPARE(int(state.TrackCount), 5);
    QCOMPARE(state.ImageExtension, QStringLiteral(".JPG"));
    QVERIFY(m_player->calls.isEmpty());
    QVERIFY(m_app->viewerIfLoaded() == nullptr);
}

void SetupWindowTest::confirmTakesTheExtensionAsTyped_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("extension");
    QTest::newRow("lower case") << "jpg" << ".jpg";
    QTest::newRow("dot typed") << ".JPG" << "..JPG";
    QTest::newRow("empty") << "" << ".";
    QTest::newRow("blanks around") << "  gif " << ".gif";
    QTest::newRow("longer than 32767") << QString(40000, 'x') << '.' + QString(40000, 'x');
}

void SetupWindowTest::confirmTakesTheExtensionAsTyped()
{
    QFETCH(QString, typed);
    QFETCH(QString, extension);
    QTemporaryDir dir;
    browseTo(dir.filePath(QStringLiteral("A.JPG")));
    m_window->Text3->setText(typed);
    confirm();
    QCOMPARE(m_app->state().ImageExtension, extension);
    QVERIFY(m_services->messages.isEmpty());
}

void SetupWindowTest::confirmResetsTheShowAndReadsTheMusicSwitch()
{
    QTemporaryDir dir;
    browseTo(dir.filePath(QStringLiteral("A.JPG")));
    SharedState &state = m_app->state();
    state.ShowStarted = 1;
    state.ShowState = 1;
    state.TrackCount = 7;
    state.TrackPos = 3;
    m_player->musicSwitch = false;
    confirm();
    QCOMPARE(int(state.ShowStarted), 0);
    QCOMPARE(int(state.ShowState), 0);
    QCOMPARE(int(state.TrackCount), 0);
    QCOMPARE(int(state.TrackPos), 0);
    QCOMPARE(int(state.MusicEnabled), 0);
    QCOMPARE(m_player->calls, QStringList{QStringLiteral("switch")});

    LARK_M7 *viewer = m_app->viewerIfLoaded();
    QVERIFY(viewer);
    QVERIFY(viewer->isVisible());
    QVERIFY(!viewer->isModal());
    QVERIFY(viewer->windowState() & Qt::WindowMaximized);
    QVERIFY(m_window->isVisible());

    m_player->musicSwitch = true;
    confirm();
    QCOMPARE(int(state.MusicEnabled), 1);
}

void SetupWindowTest::confirmTakesATypedFolder()
{
    QTemporaryDir browsed;
    QTemporaryDir typed;
    browseTo(browsed.filePath(QStringLiteral("A.JPG")));
    m_window->Text1->setText(QStringLiteral("  ") + typed.path() + QStringLiteral(" "));
    confirm();
    QCOMPARE(m_app->state().ImageFolder, typed.path() + QLatin1Char('/'));
    QVERIFY(m_services->messages.isEmpty());
    QCOMPARE(m_services->beeps, 0);

    // A typed folder with its separator is taken as it stands.
    m_window->Text1->setText(browsed.path() + QLatin1Char('/'));
    confirm();
    QCOMPARE(m_app->state().ImageFolder, browsed.path() + QLatin1Char('/'));
}

void SetupWindowTest::confirmRefusesATypedPathThatIsNoFolder()
{
    QTemporaryDir dir;
    browseTo(dir.filePath(QStringLiteral("A.JPG")));
    SharedState &state = m_app->state();
    state.ShowState = 1;
    for (const QString &path : {dir.filePath(QStringLiteral("missing")), QStringLiteral("xyz")}) {
        m_services->messages.clear();
        m_window->Text1->setText(path);
        confirm();
        QCOMPARE(m_services->messages,
                 QStringList{QStringLiteral("La cartella indicata non esiste !!!")});
    }
    // A file is no folder either.
    QFile file(dir.filePath(QStringLiteral("A.JPG")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    m_window->Text1->setText(file.fileName());
    confirm();
    // Nor is a folder whose files may not be listed (no reading) or opened (no entering).
    const QString locked = dir.filePath(QStringLiteral("chiusa"));
    QVERIFY(QDir().mkdir(locked));
    QVERIFY(rootOverridesPermissions(false));
    for (const mode_t mode : {0300, 0600}) {
        QCOMPARE(::chmod(QFile::encodeName(locked).constData(), mode), 0);
        m_window->Text1->setText(locked);
        confirm();
    }
    QVERIFY(rootOverridesPermissions(true));
    QCOMPARE(m_services->messages,
             QStringList(4, QStringLiteral("La cartella indicata non esiste !!!")));
    QCOMPARE(m_services->beeps, 5);
    QCOMPARE(state.ImageFolder, dir.path() + QLatin1Char('/'));
    QCOMPARE(int(state.ShowState), 1);
    QVERIFY(m_player->calls.isEmpty());
    QVERIFY(m_app->viewerIfLoaded() == nullptr);
}

void SetupWindowTest::confirmTakesTheDelayField()
{
    QTemporaryDir dir;
    browseTo(dir.filePath(QStringLiteral("A.JPG")));
    m_window->Text2->setText(QStringLiteral("0.3"));
    confirm();
    QCOMPARE(m_app->state().DelaySeconds, std::optional<double>(0.3));
}

void SetupWindowTest::twoConfirmationsOpenOneViewer()
{
    QTemporaryDir dir;
    browseTo(dir.filePath(QStringLiteral("A.JPG")));
    confirm();
    LARK_M7 *first = m_app->viewerIfLoaded();
    QVERIFY(first);
    first->Command3->setText(QStringLiteral("marked"));
    confirm();
    QCOMPARE(m_app->viewerIfLoaded(), first);
    QCOMPARE(first->Command3->text(), QStringLiteral("marked"));
    int viewers = 0;
    for (QWidget *w : QApplication::topLevelWidgets())
        viewers += qobject_cast<LARK_M7 *>(w) ? 1 : 0;
    QCOMPARE(viewers, 1);
}

void SetupWindowTest::endStopsTheMusicAndEndsTheProgram()
{
    QTest::mouseClick(m_window->Command3, Qt::LeftButton);
    // The music ends with the process, without waiting for the player.
    QVERIFY(m_player->calls.isEmpty());
    QCOMPARE(m_services->endRequests, 1);
}

void SetupWindowTest::aRuntimeErrorInAHandlerIsReportedAndTheWindowStaysUsable()
{
    m_window->Text2->setText(QStringLiteral("9E999"));
    browseTo(QStringLiteral("/foto/A.JPG"));
    QCOMPARE(m_services->messages,
             QStringList{QStringLiteral("Errore di run-time '6':\r\rOverflow")});
    m_window->Text2->setText(QStringLiteral("3"));
    browseTo(QStringLiteral("/foto/A.JPG"));
    QCOMPARE(m_app->state().DelaySeconds, std::optional<double>(3.0));
}

QTEST_MAIN(SetupWindowTest)
#include "tst_setupwindow.moc"
