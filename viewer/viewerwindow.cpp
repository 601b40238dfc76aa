#include "viewer/viewerwindow.h"

#include "desktop/commandgate.h"
#include "desktop/eventyield.h"
#include "desktop/guard.h"
#include "runtime/paths.h"
#include "desktop/platformservices.h"
#include "runtime/twips.h"
#include "desktop/windowlook.h"
#include "setup/setupwindow.h"
#include "state/sharedstate.h"
#include "viewer/buttonlayout.h"
#include "viewer/clickfilter.h"
#include "viewer/imagecontrol.h"
#include "viewer/picturebox.h"

#include <QEvent>
#include <QPushButton>
#include <QScreen>
#include <QWindowStateChangeEvent>

namespace {

// Client size as designed, twips; the window opens maximized.
constexpr int ClientWidth = 11100;
constexpr int ClientHeight = 7905;

void moveTo(QWidget *widget, float left, float top)
{
    widget->move(Twips::toPixels(left), Twips::toPixels(top));
}

} // namespace

LARK_M7::LARK_M7(SharedState &state, PlatformServices &services, MediaPlayerControl &player,
                 LARK_M1 &setup, ShowClock &clock, CommandGate &gate, FileWorker &fileChecks,
                 FileWorker &pictures, const PictureSource::Shared &decodes)
    : QWidget(nullptr), m_state(state), m_services(services), m_player(player), m_setup(setup),
      m_clock(clock), m_gate(gate), m_fileChecks(fileChecks),
      m_pictures(pictures, decodes, pictures.threadCount() + 1)
{
    createControls();
    Form_Load();
}

LARK_M7::~LARK_M7() = default;

void LARK_M7::createControls()
{
    setWindowTitle(QStringLiteral("FOTO"));
    setFont(WindowLook::windowFont(/*bold*/ true));
    resize(Twips::toPixels(ClientWidth), Twips::toPixels(ClientHeight));

    QPalette background = palette();
    background.setColor(QPalette::Window, QColor(0, 128, 0));
    setPalette(background);
    setAutoFillBackground(true);

    // The image first, so that the buttons stay above it.
    Image1 = new ImageControl(this);
    WindowLook::place(Image1, 120, 120, 10935, 7695);

    Command1 = new QPushButton(QStringLiteral("STAMPA"), this);
    WindowLook::place(Command1, 7800, 7320, 1215, 375);
    Command2 = new QPushButton(QStringLiteral("USCITA"), this);
    WindowLook::place(Command2, 9240, 7320, 1455, 375);
    Command3 = new QPushButton(QStringLiteral("PAUSA"), this);
    WindowLook::place(Command3, 9240, 6825, 1455, 375);
    WindowLook::fitCaption(Command1);
    WindowLook::fitCaption(Command2);
    WindowLook::fitCaption(Command3, {QStringLiteral("Continua")});
    setTabOrder(Command1, Command2);
    setTabOrder(Command2, Command3);
    // Enter on a focused button clicks it, as the space bar does.
    for (QPushButton *button : {Command1, Command2, Command3})
        button->setAutoDefault(true);

    Picture1 = new PictureBox(this);
    WindowLook::place(Picture1, 120, 120, 1815, 1935);

    // What the controls do, for screen readers. The toggle's caption says it already, and
    // changes with the show.
    setAccessibleDescription(QStringLiteral("Presentazione delle immagini"));
    WindowLook::describe(Command1, QStringLiteral("Stampa"),
                         QStringLiteral("Stampa la finestra con l'immagine, senza i pulsanti, "
                                        "sulla stampante predefinita"));
    WindowLook::describe(Command2, QStringLiteral("Uscita"),
                         QStringLiteral("Chiude la presentazione e torna alle impostazioni"));
    Command3->setAccessibleDescription(
        QStringLiteral("Mette in pausa la presentazione o la fa continuare"));
    WindowLook::describe(Image1, QStringLiteral("Immagine"),
                         QStringLiteral("L'immagine mostrata; un clic mette in pausa la "
                                        "presentazione o la fa continuare"));
    WindowLook::describe(Picture1, QStringLiteral("Misura dell'immagine"),
                         QStringLiteral("Riquadro nascosto che misura l'immagine"));

    connect(Command1, &QPushButton::clicked, this,
            [this] { guarded([this] { Command1_Click(); }); });
    connect(Command2, &QPushButton::clicked, this,
            [this] { guarded([this] { Command2_Click(); }); });
    connect(Command3, &QPushButton::clicked, this,
            [this] { guarded([this] { Command3_Click(); }); });
    connect(new ClickFilter(Image1), &ClickFilter::clicked, this,
            [this] { guarded([this] { Image1_Click(); }); });
    connect(new ClickFilter(Picture1), &ClickFilter::clicked, this,
            [this] { guarded([this] { Picture1_Click(); }); });
    connect(new ClickFilter(this), &ClickFilter::clicked, this,
            [this] { guarded([this] { Form_Click(); }); });
}

void LARK_M7::guarded(const std::function<void()> &handler, bool leaves)
{
    // While the show waits for its file work the handler is held, to run at the end of the
    // wait; it then runs only if the window is still there. Leaving is not held: the wait
    // ends with it.
    const auto run = [this, handler] {
        ++m_handlerDepth;
        runGuarded(m_services, this, handler);
        --m_handlerDepth;
        announceShow();
        // A left viewer goes once none of its handlers, and so none of its loops, is running.
        if (m_left && m_handlerDepth == 0)
            deleteLater();
    };
    if (leaves)
        m_gate.runAtOnce(this, run);
    else
        m_gate.run(this, run);
}

float LARK_M7::outerWidth() const
{
    return float(Twips::fromPixels(frameGeometry().width()));
}

float LARK_M7::outerHeight() const
{
    return float(Twips::fromPixels(frameGeometry().height()));
}

void LARK_M7::applyRunningLayout()
{
    const ButtonLayout::Place place = ButtonLayout::running(outerHeight(), outerWidth());
    moveTo(Command3, place.left, place.top);
}

void LARK_M7::applyPausedLayout()
{
    const ButtonLayout::Paused places = ButtonLayout::paused(outerHeight(), outerWidth());
    moveTo(Command1, places.command1.left, places.command1.top);
    moveTo(Command2, places.command2.left, places.command2.top);
    moveTo(Command3, places.command3.left, places.command3.top);
}

void LARK_M7::Form_Load()
{
    m_state.LoopActive = 0;
    m_state.Playlist.erase();
    m_state.ShowRunning = 0;
    applyRunningLayout();
    Picture1->hide();
}

void LARK_M7::Form_Resize()
{
    // Before the show has started (the window manager maximizing the new window), the buttons
    // go at once to where the show will find them; no yield lets the show start meanwhile.
    if (m_state.ShowStarted == 0) {
        applyLayoutForSize();
        return;
    }
    EventYield::yieldOnce();
    applyLayoutForSize();
    EventYield::yieldOnce();
}

void LARK_M7::applyLayoutForSize()
{
    // Paused: all three buttons. Running, and before the show: the pause button on the bottom
    // row, and "STAMPA" and "USCITA" where they appear when the show ends.
    applyPausedLayout();
    if (m_state.ShowStarted == 0 || m_state.ShowRunning != 0)
        applyRunningLayout();
}

void LARK_M7::paintEvent(QPaintEvent *event)
{
    QWidget::paintEvent(event);
    // The show runs from the event queue, right after the paint, never inside it.
    QMetaObject::invokeMethod(
        this, [this] { guarded([this] { Form_Paint(); }); }, Qt::QueuedConnection);
}

void LARK_M7::resizeEvent(QResizeEvent *event)
{
    // Another program may make the window larger than its screen: it goes back to the screen's
    // size at once, before a paint fills so large a window. That resize comes back here.
    if (const QScreen *shownOn = screen()) {
        const QSize bounded = size().boundedTo(shownOn->geometry().size());
        if (bounded != size()) {
            resize(bounded);
            return;
        }
    }
    QWidget::resizeEvent(event);
    guarded([this] { Form_Resize(); });
}

void LARK_M7::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange &&
        (static_cast<QWindowStateChangeEvent *>(event)->oldState() ^ windowState()) &
            Qt::WindowFullScreen)
        emit fullScreenChanged(isFullScreen());
    // Minimizing and restoring change the window's size too, though Qt reports no resize;
    // the handler runs from the event queue, as after a resize by the window system.
    if (event->type() == QEvent::WindowStateChange)
        QMetaObject::invokeMethod(
            this, [this] { guarded([this] { Form_Resize(); }); }, Qt::QueuedConnection);
}

void LARK_M7::setFullScreen(bool on)
{
    if (m_left || on == isFullScreen())
        return;
    // The size changes, and the layout of the show's state follows it as after any resize.
    if (on)
        showFullScreen();
    else
        showMaximized();
}

void LARK_M7::setCaption(const QString &caption)
{
    // Qt takes "[*]" in a title for its modified-marker and drops it; doubled, it stands for
    // itself. A path's stray bytes show as U+FFFD.
    QString title = Paths::forDisplay(caption);
    title.replace(QStringLiteral("[*]"), QStringLiteral("[*][*]"));
    setWindowTitle(title);
}

void LARK_M7::announceShow()
{
    ShowStatus status;
    if (!m_left && m_state.ShowStarted == 1) {
        if (m_state.ShowState != ShowStopped && m_activeLoops > 0)
            status = {ShowStatus::Running, m_state.ShowRunning != 0};
        else if (m_state.ShowRunning == 0 && !m_state.CurrentName.trimmed().isEmpty())
            status = {ShowStatus::Paused, false};
    }
    if (status == m_status)
        return;
    m_status = status;
    emit showStatusChanged(status);
}
