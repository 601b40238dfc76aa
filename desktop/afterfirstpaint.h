#pragma once

#include <QObject>

#include <functional>

class QWidget;

// Runs a call once the window it watches has been painted for the first time: what the
// window does not need to appear waits for it. Calls for the same window run in the reverse
// order of their watches.
class AfterFirstPaint : public QObject
{
public:
    AfterFirstPaint(QWidget *window, std::function<void()> call);
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    std::function<void()> m_call;
};
