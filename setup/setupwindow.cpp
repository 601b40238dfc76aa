#include "setup/setupwindow.h"

#include "music/mediaplayercontrol.h"
#include "desktop/commandgate.h"
#include "runtime/directorycursor.h"
#include "desktop/guard.h"
#include "runtime/paths.h"
#include "desktop/platformservices.h"
#include "runtime/twips.h"
#include "desktop/windowlook.h"
#include "runtime/val.h"
#include "state/sharedstate.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <cstdlib>
#include <limits>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// Client size of the window, twips: room for the rightmost and lowest controls.
constexpr int ClientWidth = 7980;
constexpr int ClientHeight = 3120;

void setBase(QLineEdit *edit, const QColor &colour)
{
    QPalette palette = edit->palette();
    palette.setColor(QPalette::Base, colour);
    palette.setColor(QPalette::Text, Qt::black);
    edit->setPalette(palette);
}

// The text without leading and trailing space characters (tabs and others stay).
QString trimBlanks(const QString &text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text[first] == QLatin1Char(' '))
        ++first;
    while (last > first && text[last - 1] == QLatin1Char(' '))
        --last;
    return text.mid(first, last - first);
}

} // namespace

LARK_M1::LARK_M1(SharedState &state, PlatformServices &services, MediaPlayerControl &player,
                 CommandGate &gate, QWidget *playerBar, std::function<void()> openViewer,
                 std::function<bool()> viewerOpen)
    : QWidget(nullptr), m_state(state), m_services(services), m_player(player), m_gate(gate),
      m_openViewer(std::move(openViewer)), m_viewerOpen(std::move(viewerOpen))
{
    MediaPlayer1 = playerBar;
    createControls();
    Form_Load();
}

void LARK_M1::createControls()
{
    setWindowTitle(QStringLiteral("Album"));
    setFont(WindowLook::windowFont());
    setFixedSize(Twips::toPixels(ClientWidth), Twips::toPixels(ClientHeight));

    // Created in tab order.
    Label1 = new QLabel(QStringLiteral("Nome cartella contenente Immagini e sottofondi musicali"),
                        this);
    WindowLook::place(Label1, 285, 960, 4455, 255);

    Text1 = new QLineEdit(this);
    WindowLook::place(Text1, 255, 1215, 6465, 360);
    setBase(Text1, QColor(0, 255, 255));

    Command1 = new QPushButton(QStringLiteral("Sfoglia ..."), this);
    WindowLook::place(Command1, 6840, 1230, 885, 345);

    if (MediaPlayer1) {
        MediaPlayer1->setParent(this);
        WindowLook::place(MediaPlayer1, 300, 2010, 4275, 585);
    }

    Command2 = new QPushButton(QStringLiteral("CONFERMA"), this);
    WindowLook::place(Command2, 4920, 2130, 1350, 390);

    Command3 = new QPushButton(QStringLiteral("F I N E"), this);
    WindowLook::place(Command3, 6360, 2130, 1350, 390);

    Label2 = new QLabel(QStringLiteral("N.secondi di ritardo tra due immagini"), this);
    WindowLook::place(Label2, 255, 1740, 2685, 210);

    Text2 = new QLineEdit(QStringLiteral("1"), this);
    WindowLook::place(Text2, 3000, 1695, 990, 300);
    setBase(Text2, QColor(255, 128, 255));

    // The title twice, 8 and 17 twips apart, so that it shows with a shadow.
    const QFont titleFont = WindowLook::designFont(
        {QStringLiteral("Arial"), QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")},
        9.75, /*bold*/ true);
    Label6_5 = new QLabel(QStringLiteral("Album by Torvex(c)"), this);
    WindowLook::place(Label6_5, 5528, 242, 2295, 255);
    Label6_5->setFont(titleFont);
    Label6_5->setAttribute(Qt::WA_TranslucentBackground);

    Label6_4 = new QLabel(QStringLiteral("Album by Torvex(c)"), this);
    WindowLook::place(Label6_4, 5520, 225, 2295, 255);
    Label6_4->setFont(titleFont);
    {
        QPalette palette = Label6_4->palette();
        palette.setColor(QPalette::WindowText, QColor(128, 128, 255));
        Label6_4->setPalette(palette);
    }

    Check1 = new QCheckBox(QStringLiteral("Visione ciclica immagini"), this);
    WindowLook::place(Check1, 4905, 2700, 2430, 210);
    Check1->setChecked(true);

    Label3 = new QLabel(this);
    WindowLook::place(Label3, 345, 2640, 4170, 300);

    Label4 = new QLabel(QStringLiteral("Estensione immagini e files multimediali"), this);
    WindowLook::place(Label4, 4080, 1680, 2895, 255);

    Text3 = new QLineEdit(this);
    WindowLook::place(Text3, 6960, 1680, 735, 285);
    setBase(Text3, QColor(128, 255, 255));

    Label5 = new QLabel(
        QStringLiteral("Nella stessa cartella e' possibile visualizzare immagini .JPG/.GIF/.BMP, "
                       "ascoltando dei file musicali (.WAV/.MP3) con lo stesso nome delle "
                       "immagini "),
        this);
    WindowLook::place(Label5, 240, 120, 4935, 735);
    Label5->setFont(WindowLook::designFont({QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans"),
                                            QStringLiteral("Liberation Sans")},
                                           8.25, /*bold*/ true));
    Label5->setWordWrap(true);
    Label5->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    for (QLabel *label : {Label1, Label2, Label3, Label4, Label5, Label6_5, Label6_4})
        label->setAlignment(label == Label5 ? Qt::AlignLeft | Qt::AlignTop
                                            : Qt::AlignLeft | Qt::AlignVCenter);

    // The fonts that stand in for the designed ones are wider: each caption fits its control.
    const QList<QWidget *> captioned = {Label1,   Label2,   Label4,   Label5, Label6_5,    Label6_4,
                                        Command1, Command2, Command3, Check1, MediaPlayer1};
    for (QWidget *control : captioned)
        if (control)
            WindowLook::fitCaption(control);

    // The text boxes take text of any length (Qt's line edit would stop at 32767 characters).
    for (QLineEdit *field : {Text1, Text2, Text3})
        field->setMaxLength(std::numeric_limits<int>::max());

    // What the controls do, for screen readers: the captions alone are terse or spelled out.
    setAccessibleDescription(QStringLiteral("Impostazioni della presentazione"));
    const struct
    {
        QWidget *control;
        QStringView name;
        QStringView description;
    } described[] = {
        {Text1, u"Cartella delle immagini",
         u"La cartella con le immagini e i brani musicali da mostrare"},
        {Command1, u"Sfoglia", u"Sceglie la cartella da un file che vi si trova"},
        {Text3, u"Estensione delle immagini",
         u"L'estensione dei file da mostrare, senza il punto, o più estensioni separate da "
         u"spazi, virgole o punti e virgola (JPG HEIC)"},
        {Text2, u"Secondi di ritardo tra due immagini",
         u"L'attesa tra un'immagine e la successiva, in secondi; i decimali si scrivono con il "
         u"punto"},
        {Check1, u"Visione ciclica delle immagini",
         u"Dopo l'ultima immagine la presentazione ricomincia dalla prima"},
        {Command2, u"Conferma", u"Apre la finestra della presentazione e la fa partire"},
        {Command3, u"Fine", u"Chiude il programma e ferma la musica"},
    };
    for (const auto &[control, name, description] : described)
        WindowLook::describe(control, name.toString(), description.toString());
    Text3->setToolTip(Text3->accessibleDescription());
    Label3->setAccessibleDescription(QStringLiteral("Brano in riproduzione"));

    // Labels take no focus; the focus goes round the other controls in creation order.
    QList<QWidget *> chain = {Text1, Command1};
    if (MediaPlayer1)
        chain << MediaPlayer1;
    chain << Command2 << Command3 << Text2 << Check1 << Text3;
    for (qsizetype i = 1; i < chain.size(); ++i)
        setTabOrder(chain[i - 1], chain[i]);
    // Enter on a focused button clicks it, as the space bar does.
    for (QPushButton *button : {Command1, Command2, Command3})
        button->setAutoDefault(true);
    Text1->setFocus();

    connect(Command1, &QPushButton::clicked, this, [this] { guarded([this] { Command1_Click(); }); });
    connect(Command2, &QPushButton::clicked, this, [this] { guarded([this] { Command2_Click(); }); });
    // "F I N E" is never held: it ends the program at once, whatever the show waits for.
    connect(Command3, &QPushButton::clicked, this,
            [this] { runGuarded(m_services, this, [this] { Command3_Click(); }); });
}

void LARK_M1::guarded(const std::function<void()> &handler)
{
    m_gate.run(this, [this, handler] { runGuarded(m_services, this, handler); });
}

void LARK_M1::Form_Load()
{
    m_state.ImageExtension = QStringLiteral(".JPG");
    Text3->setText(QStringLiteral("JPG"));
}

void LARK_M1::Command1_Click()
{
    const QString chosen = m_services.getOpenFileName(this);
    // A cancelled dialog changes nothing.
    if (chosen.isEmpty())
        return;
    takeFolderOf(chosen);
}

void LARK_M1::takeFolderOf(const QString &file)
{
    m_state.ImageFolder = Paths::folderOf(file);
    m_state.ShowFolder.clear();
    Text1->setText(Paths::forDisplay(m_state.ImageFolder));
    m_state.DelaySeconds = Val(Text2->text());
}

void LARK_M1::openPath(const QString &path)
{
    guarded([this, &path] {
        // A relative path is taken in the current folder, which is read from its bytes; an
        // empty one names nothing.
        QString absolute = path;
        const bool relative = !path.isEmpty() && !path.startsWith(QLatin1Char('/'));
        char *current = relative ? ::getcwd(nullptr, 0) : nullptr;
        if (current)
            absolute = Paths::withClosingSeparator(Paths::fromFileSystem(current)) + path;
        std::free(current);
        absolute = QDir::cleanPath(absolute);
        const QFileInfo info(absolute);
        struct stat status;
        const bool found = ::stat(Paths::toFileSystem(absolute).constData(), &status) == 0;
        if (found && S_ISDIR(status.st_mode)) {
            takeFolderOf(Paths::withClosingSeparator(absolute));
        } else if (found && S_ISREG(status.st_mode)) {
            takeFolderOf(absolute);
            // The show is of pictures like the one opened.
            const QByteArray format = info.suffix().toLower().toLatin1();
            if (QImageReader::supportedImageFormats().contains(format))
                Text3->setText(info.suffix());
        } else {
            m_services.beep();
            m_services.showMessage(this,
                                   QString::fromUtf8(NoSuchPathMessage) + QLatin1Char('\r') + path);
        }
    });
}

LARK_M1::ShowFiles LARK_M1::filesToConfirm() const
{
    const QString typed = trimBlanks(Text1->text());
    // A folder typed by hand replaces the browsed one.
    QString folder = m_state.ImageFolder;
    if (typed.isEmpty())
        folder.clear();
    else if (typed != Paths::forDisplay(folder))
        folder = Paths::withClosingSeparator(typed);
    return {folder, QLatin1Char('.') + trimBlanks(Text3->text())};
}

void LARK_M1::Command2_Click()
{
    const ShowFiles files = filesToConfirm();
    if (files.folder.isEmpty()) {
        m_services.beep();
        m_services.showMessage(this, QString::fromLatin1(FolderMissingMessage));
        return;
    }
    // A path that is no folder is refused, typed or browsed and gone since, and so is a folder
    // the user may not list.
    if (!DirectoryCursor::canList(files.folder)) {
        m_services.beep();
        m_services.showMessage(this, QString::fromLatin1(NoSuchFolderMessage));
        return;
    }
    const double delay = Val(Text2->text());

    m_state.ImageFolder = files.folder;
    m_state.DelaySeconds = delay;
    m_state.ImageExtension = files.extension;
    m_state.ShowStarted = 0;
    m_state.ShowState = ShowFresh;
    const bool music = m_player.GetMusicSwitch();
    m_state.TrackPos = 0;
    m_state.MusicEnabled = music ? 1 : 0;
    m_state.TrackCount = 0;
    if (m_openViewer)
        m_openViewer();
}

void LARK_M1::Command3_Click()
{
    // The music ends with the process. The player is not stopped first: a track that is still
    // starting can keep a stop waiting for a second.
    m_services.endProgram();
}

void LARK_M1::closeEvent(QCloseEvent *event)
{
    // While the show waits for its file work, the close is held like a click.
    if (m_gate.isHolding()) {
        event->ignore();
        m_gate.run(this, [this] { close(); });
        return;
    }
    // While the viewer is open, closing this window only hides it: the show goes on, and
    // leaving the viewer brings this window back.
    if (m_viewerOpen && m_viewerOpen()) {
        event->ignore();
        hide();
        return;
    }
    QWidget::closeEvent(event);
}
