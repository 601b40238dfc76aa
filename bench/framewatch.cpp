#include "framewatch.h"

#include "benchsupport.h"

#include <QHash>
#include <QRect>

#include <cstdlib>
#include <mutex>
#include <thread>

#include <poll.h>
#include <unistd.h>

// Xlib's macros (None, Bool, Status...) come last, after every Qt header.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xdamage.h>

namespace {

// Errors of the watch's own connection (a window gone before its damage was made) are
// ignored; those of any other connection go to the handler that was there before.
Display *g_watchDisplay = nullptr;
XErrorHandler g_previousHandler = nullptr;

int onXError(Display *display, XErrorEvent *error)
{
    if (display == g_watchDisplay)
        return 0;
    return g_previousHandler ? g_previousHandler(display, error) : 0;
}

bool closeColour(quint32 a, quint32 b)
{
    constexpr int Tolerance = 6; // steps of 255
    for (int shift : {0, 8, 16}) {
        if (std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)) > Tolerance)
            return false;
    }
    return true;
}

} // namespace

struct FrameWatch::Private
{
    Display *display = nullptr;
    int damageEventBase = 0;
    std::thread thread;
    int wake[2] = {-1, -1};

    mutable std::mutex mutex; // guards what follows
    bool quit = false;
    int turn = -1;
    Window window = 0;
    QList<std::pair<QPoint, quint32>> pixels;
    QHash<int, qint64> shown;
    int events = 0;

    void run();
    void damaged(const XDamageNotifyEvent &event);
    bool showsExpected(Window window, const QList<std::pair<QPoint, quint32>> &expected);
};

FrameWatch::FrameWatch() : d(std::make_unique<Private>()) {}

FrameWatch::~FrameWatch()
{
    if (d->thread.joinable()) {
        {
            std::lock_guard lock(d->mutex);
            d->quit = true;
        }
        const char byte = 'q';
        (void)!::write(d->wake[1], &byte, 1);
        d->thread.join();
    }
    if (d->display)
        XCloseDisplay(d->display);
    for (int fd : d->wake) {
        if (fd >= 0)
            ::close(fd);
    }
}

bool FrameWatch::open(const QString &display)
{
    d->display = XOpenDisplay(display.toLocal8Bit().constData());
    if (!d->display)
        return false;
    int errorBase = 0;
    if (!XDamageQueryExtension(d->display, &d->damageEventBase, &errorBase))
        return false;
    g_watchDisplay = d->display;
    g_previousHandler = XSetErrorHandler(onXError);
    // New top-level windows are announced, so that their damage is followed from the start.
    XSelectInput(d->display, DefaultRootWindow(d->display), SubstructureNotifyMask);
    XSync(d->display, False);
    if (::pipe(d->wake) != 0)
        return false;
    d->thread = std::thread([this] { d->run(); });
    return true;
}

void FrameWatch::expect(int turn, unsigned long window,
                        const QList<std::pair<QPoint, quint32>> &pixels)
{
    std::lock_guard lock(d->mutex);
    d->turn = turn;
    d->window = window;
    d->pixels = pixels;
}

qint64 FrameWatch::shownAt(int turn) const
{
    std::lock_guard lock(d->mutex);
    return d->shown.value(turn, -1);
}

int FrameWatch::damageEvents() const
{
    std::lock_guard lock(d->mutex);
    return d->events;
}

void FrameWatch::Private::run()
{
    pollfd fds[2] = {{ConnectionNumber(display), POLLIN, 0}, {wake[0], POLLIN, 0}};
    for (;;) {
        while (XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == CreateNotify &&
                event.xcreatewindow.parent == DefaultRootWindow(display)) {
                XDamageCreate(display, event.xcreatewindow.window, XDamageReportRawRectangles);
                XFlush(display);
            } else if (event.type == damageEventBase + XDamageNotify) {
                damaged(*reinterpret_cast<XDamageNotifyEvent *>(&event));
            }
        }
        {
            std::lock_guard lock(mutex);
            if (quit)
                return;
        }
        ::poll(fds, 2, -1);
        if (fds[1].revents & POLLIN) {
            char byte;
            (void)!::read(wake[0], &byte, 1);
        }
    }
}

void FrameWatch::Private::damaged(const XDamageNotifyEvent &event)
{
    int expectedTurn;
    QList<std::pair<QPoint, quint32>> expected;
    {
        std::lock_guard lock(mutex);
        ++events;
        if (turn < 0 || event.drawable != window)
            return;
        expectedTurn = turn;
        expected = pixels;
    }
    const QRect area(event.area.x, event.area.y, event.area.width, event.area.height);
    bool touches = false;
    for (const auto &[point, colour] : std::as_const(expected))
        touches = touches || area.contains(point);
    if (!touches || !showsExpected(event.drawable, expected))
        return;
    const qint64 seen = Bench::nowNs();
    std::lock_guard lock(mutex);
    if (turn == expectedTurn) {
        shown.insert(turn, seen);
        turn = -1;
    }
}

bool FrameWatch::Private::showsExpected(Window drawable,
                                        const QList<std::pair<QPoint, quint32>> &expected)
{
    for (const auto &[point, colour] : expected) {
        XImage *image =
            XGetImage(display, drawable, point.x(), point.y(), 1, 1, AllPlanes, ZPixmap);
        if (!image)
            return false;
        const quint32 pixel = quint32(XGetPixel(image, 0, 0)) & 0xFFFFFF;
        XDestroyImage(image);
        if (!closeColour(pixel, colour))
            return false;
    }
    return true;
}
