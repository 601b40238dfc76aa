// The show: the driver that a paint starts, and the picture loop.
#include "viewer/viewerwindow.h"

#include "desktop/commandgate.h"
#include "desktop/eventyield.h"
#include "pictures/fileworker.h"
#include "desktop/platformservices.h"
#include "runtime/runtimeerror.h"
#include "desktop/showclock.h"
#include "runtime/twips.h"
#include "setup/setupwindow.h"
#include "state/sharedstate.h"
#include "viewer/imagecontrol.h"
#include "viewer/picturebox.h"
#include "pictures/picturedecoder.h"
#include "pictures/pictureprobe.h"

#include <QCheckBox>
#include <QPushButton>
#include <QScreen>

#include <algorithm>
#include <climits>
#include <cmath>

namespace {

// Pictures of a block, and blocks of a continued show.
constexpr int PicturesPerBlock = 500;
constexpr int BlocksPerShow = 100;

// Room the image leaves free in the window, twips.
constexpr float LandscapeMargin = 500.0f;
constexpr float HeightMargin = 600.0f;

bool isBlank(const QString &text)
{
    return text.trimmed().isEmpty();
}

} // namespace

void LARK_M7::Form_Paint()
{
    // The pointer goes back to the default on every way out, a viewer left during its pass and
    // an error included.
    struct DefaultPointerAtEnd
    {
        PlatformServices &services;
        ~DefaultPointerAtEnd() { services.setMousePointer(PlatformServices::DefaultPointer); }
    } defaultPointerAtEnd{m_services};

    if (m_state.ShowState != ShowStopped && m_state.ShowStarted != 1 && !m_left) {
        const QPointer<LARK_M7> self(this);
        for (;;) {
            m_state.ShowStarted = 1;
            m_services.setMousePointer(PlatformServices::Hourglass);
            Command3->setText(QStringLiteral("PAUSA"));
            m_state.ShowRunning = 1;
            Command3->show();
            Command1->hide();
            Command2->hide();
            m_state.PictureCount = 1;
            m_state.BlockCount = 1;
            // The folder is listed on the worker: a huge or slow folder does not stop the window.
            const QString pattern = m_state.ImageFolder + QLatin1Char('*') + m_state.ImageExtension;
            const std::optional<QStringList> names = m_gate.waitFor(
                m_fileChecks.run<QStringList>([pattern] { return DirectoryCursor::list(pattern); }),
                [this] { return m_left; });
            if (!names)
                return; // left while the folder was being listed
            m_state.CurrentName = m_state.Enumeration.startWith(*names);
            m_state.ShowFolder = m_state.ImageFolder;
            // Only the first picture for now: while the viewer opens and shows it, this thread
            // and the X server want the other core. The next ones start once it is on screen.
            prefetchAhead(1);
            const bool ran = RunPictureLoop();
            if (!self || m_left)
                return; // the viewer was left: its show is over, another may be running
            const bool cyclic = m_setup.Check1->isChecked();
            // A pass whose loop was refused is not repeated: the activation beneath must get
            // its turn.
            if (m_state.ShowState != ShowStopped && cyclic && ran)
                continue;
            m_state.ShowState = ShowStopped;
            announceShow();
            break;
        }
    }
}

bool LARK_M7::RunPictureLoop()
{
    // A running loop refuses a second entry, and so does the deepest nesting, however the
    // entry comes: a continue, or a new pass of the driver.
    if (m_state.LoopActive == 1 || m_state.NestedLoops >= MaxNestedLoops)
        return false;
    m_state.LoopActive = 1;

    struct Activation
    {
        LARK_M7 &viewer;
        explicit Activation(LARK_M7 &v) : viewer(v)
        {
            ++viewer.m_state.NestedLoops;
            if (viewer.m_activeLoops++ == 0)
                emit viewer.loopRunning(true);
            viewer.announceShow();
        }
        ~Activation()
        {
            --viewer.m_state.NestedLoops;
            if (--viewer.m_activeLoops == 0)
                emit viewer.loopRunning(false);
            viewer.announceShow();
        }
    } activation(*this);

    if (m_state.ShowState == ShowStopped) {
        loopEnd();
        return true;
    }
    bool armed = false;
    try {
        while (showCurrentPicture(armed)) {
        }
    } catch (const RuntimeError &error) {
        if (!armed)
            throw;
        reportPictureError(error);
    }
    loopEnd();
    return true;
}

bool LARK_M7::showCurrentPicture(bool &errorHandlerArmed)
{
    const qint64 startMs = m_clock.nowMs();
    restoreIfMinimized();
    GL_LARK::ProbeCurrentPicture(m_state, m_state.ProbeFailed,
                                 [this](const QString &path) { return probeFile(path); });
    if (m_left)
        return false;
    if (m_state.ProbeFailed == 1) {
        m_state.PictureCount = CountAtStop;
        m_state.ShowState = ShowStopped;
        return false;
    }
    setCaption(QStringLiteral("IMMAGINE  ") + m_state.CurrentPath);
    emit pictureNamed(m_state.CurrentPath);
    errorHandlerArmed = true;

    Picture1->hide();
    const bool loaded = loadIntoPictureBox();
    if (m_left)
        return false;
    if (!loaded) {
        m_state.PictureCount = CountAtStop;
        m_state.ShowState = ShowStopped;
        return false;
    }
    EventYield::yieldOnce();
    if (m_left)
        return false;

    Image1->hide();
    sizeImage(Twips::fromPixels(Picture1->width()), Twips::fromPixels(Picture1->height()));
    Image1->setPicture(Picture1->picture());
    Image1->show();
    EventYield::yieldOnce();
    if (m_left)
        return false;

    RunMusicStep();
    if (m_left)
        return false;

    m_state.CurrentName = m_state.Enumeration.next();
    if (isBlank(m_state.CurrentName))
        return false;
    prefetchAhead();
    if (!waitDelay(startMs))
        return false;
    return countPicture();
}

bool LARK_M7::probeFile(const QString &path)
{
    m_probedStamp = m_gate
                        .waitFor(m_fileChecks.run<std::optional<FileProbe::Stamp>>(
                                     [path] { return FileProbe::probe(path); }),
                                 [this] { return m_left; })
                        .value_or(std::nullopt);
    return m_probedStamp.has_value();
}

bool LARK_M7::loadIntoPictureBox()
{
    // The picture is decoded once, at the size the image will show it; the box keeps the
    // picture's natural size for the choice between landscape and portrait.
    // Leaving the viewer ends the wait.
    const std::optional<PictureSource::Picture> picture =
        m_pictures.picture(m_state.CurrentPath, pictureBoxes(), m_probedStamp,
                           [this](const PictureSource::Task &task) {
                               return m_gate.waitFor(task, [this] { return m_left; });
                           });
    // Gone, or no regular file any more, since its probe; or the viewer was left while it
    // decoded, which stopped the decode: nothing to report.
    if (!picture || !picture->opened || m_left)
        return false;
    if (picture->error != 0)
        throw RuntimeError(picture->error);
    QImage image = picture->image;
    image.setDevicePixelRatio(devicePixelRatioF());
    Picture1->setPicture(image, picture->natural);
    return true;
}

PictureDecoder::Boxes LARK_M7::pictureBoxes() const
{
    return pictureBoxes(outerWidth(), outerHeight(), screen(), devicePixelRatioF());
}

PictureDecoder::Boxes LARK_M7::pictureBoxes(float w, float h, const QScreen *shownOn, qreal ratio)
{
    // However large the window, no picture is decoded larger than in a window of the screen's
    // size: the screen shows no more of it.
    if (shownOn) {
        w = std::min(w, float(Twips::fromPixels(shownOn->geometry().width())));
        h = std::min(h, float(Twips::fromPixels(shownOn->geometry().height())));
    }
    const int height = Twips::toPixels(std::max(0.0f, h - HeightMargin));
    const auto box = [&](int width) { return (QSizeF(width, height) * ratio).toSize(); };
    return {box(Twips::toPixels(std::max(0.0f, w - LandscapeMargin))),
            box(Twips::toPixels(std::max(0.0f, w / 2)))};
}

PictureDecoder::Boxes LARK_M7::boxesWhenMaximized(const QScreen *screen)
{
    if (!screen)
        return {};
    const QSize outer = screen->geometry().size();
    return pictureBoxes(float(Twips::fromPixels(outer.width())),
                        float(Twips::fromPixels(outer.height())), screen,
                        screen->devicePixelRatio());
}

void LARK_M7::prefetchAhead(int count)
{
    // The next turn probes ShowFolder & CurrentName; the ones after it take the names that
    // follow in the enumeration.
    QStringList paths;
    for (int i = 0; i < std::min(count, m_pictures.ahead()); ++i) {
        const QString name = i == 0 ? m_state.CurrentName : m_state.Enumeration.peek(i);
        if (isBlank(name))
            break;
        paths << m_state.ShowFolder + name;
    }
    m_pictures.keepAhead(paths, pictureBoxes());
}

void LARK_M7::prepareFirstPicture(PictureSource &firstPicture)
{
    m_pictures.adopt(firstPicture);
}

void LARK_M7::sizeImage(double pictureWidth, double pictureHeight)
{
    const float w = outerWidth();
    const float h = outerHeight();
    // Landscape pictures take the width less a margin; portrait and square ones half of it.
    const float width = pictureWidth > pictureHeight ? w - LandscapeMargin : w / 2;
    const float height = h - HeightMargin;
    // A window too small for the margins gives an empty image, never a negative one.
    Image1->resize(Twips::toPixels(std::max(0.0f, width)), Image1->height());
    Image1->resize(Image1->width(), Twips::toPixels(std::max(0.0f, height)));
}

bool LARK_M7::waitDelay(qint64 startMs)
{
    // The delay counts from the picture's start, so loading it counts towards the delay.
    // It is read at every turn: a delay taken anew during the wait applies to it at once.
    // A delay of 0, a negative or an empty one makes one turn with one yield.
    for (;;) {
        if (stopRequested())
            return false;
        const double remaining = m_state.delayValue() * 1000.0 - double(m_clock.nowMs() - startMs);
        m_clock.waitTurn(remaining > 0 ? qint64(std::ceil(std::min(remaining, 9.0e15))) : 0);
        if (double(m_clock.nowMs() - startMs) >= m_state.delayValue() * 1000.0)
            return true;
    }
}

bool LARK_M7::countPicture()
{
    m_state.PictureCount += 1;
    if (m_state.PictureCount < PicturesPerBlock)
        return true;
    if (m_state.ShowState == ShowContinued) {
        m_state.BlockCount += 1;
        if (m_state.BlockCount < BlocksPerShow) {
            m_state.PictureCount = 1;
            return true;
        }
    }
    if (m_state.MusicEnabled != 0) {
        m_state.PictureCount = 1;
        m_state.BlockCount = 1;
        return true;
    }
    m_state.ShowState = ShowStopped;
    return false;
}

void LARK_M7::reportPictureError(const RuntimeError &error)
{
    try {
        const qint64 number = error.number();
        if (number >= Int16::Min && number <= Int16::Max)
            m_state.ProbeFailed = int(number);
        const QString description = error.description();
        restoreIfMinimized();
        m_services.showMessage(
            this, QStringLiteral("Immagine ") + m_state.CurrentPath + QLatin1Char('\r') +
                      QStringLiteral(" di formato non compatibile !!!") + QStringLiteral("\r\r") +
                      errorNumberText(number) + QStringLiteral(" - ") + description);
        m_state.ProbeFailed = 1;
        m_state.ShowState = ShowStopped;
        m_state.PictureCount = CountAtStop;
        m_state.BlockCount = CountAtStop;
    } catch (const RuntimeError &) {
        // An error while reporting shows no second message; the loop goes to its end.
    }
}

void LARK_M7::loopEnd()
{
    Command1->show();
    Command2->show();
    Command3->hide();
    // A left viewer's loop leaves the guard to the viewer that may have opened since.
    if (!m_left)
        m_state.LoopActive = 0;
}

bool LARK_M7::stopRequested() const
{
    return m_state.ShowState == ShowStopped || m_left;
}

void LARK_M7::restoreIfMinimized()
{
    if (isMinimized())
        setWindowState(windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized));
}
