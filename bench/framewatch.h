#pragma once

#include <QList>
#include <QPoint>
#include <QString>

#include <memory>
#include <utility>

// Sees when a frame of a window reaches the X server: a connection of its own, on a thread of
// its own, gets the server's DAMAGE events for the window and reads back a few pixels to tell
// the frame that shows a given picture from the others.
class FrameWatch
{
public:
    FrameWatch();
    ~FrameWatch();
    FrameWatch(const FrameWatch &) = delete;
    FrameWatch &operator=(const FrameWatch &) = delete;

    // Connects to display (":N"); false when there is no server or it lacks DAMAGE.
    bool open(const QString &display);

    // The first frame drawn into window (an X window id) from now on whose pixels at these
    // points (window coordinates) have these colours (0xRRGGBB, a few steps of tolerance) is
    // turn's. Every top-level window created after open() is followed.
    void expect(int turn, unsigned long window, const QList<std::pair<QPoint, quint32>> &pixels);

    // When turn's frame was seen in the server, on the monotonic clock (ns); -1 when not seen.
    qint64 shownAt(int turn) const;

    // Damage events seen so far, for the report.
    int damageEvents() const;

private:
    struct Private;
    std::unique_ptr<Private> d;
};
