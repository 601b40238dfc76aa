#include "desktop/afterfirstpaint.h"

#include <QEvent>
#include <QTimer>
#include <QWidget>

AfterFirstPaint::AfterFirstPaint(QWidget *window, std::function<void()> call)
    : QObject(window), m_call(std::move(call))
{
    window->installEventFilter(this);
}

bool AfterFirstPaint::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Paint) {
        watched->removeEventFilter(this);
        QTimer::singleShot(0, this, [this] {
            m_call();
            deleteLater();
        });
    }
    return false;
}
