#pragma once

#include <QObject>

class QWidget;

// Takes a widget's mouse buttons as the viewer's controls take them: a left press and its
// release inside the widget make a click; the second press of a double-click is no click of its
// own, so a double-click is one click. The widget gets no mouse button events of its own, and
// its parent none from it.
class ClickFilter : public QObject
{
    Q_OBJECT

public:
    // Watches widget, which owns it.
    explicit ClickFilter(QWidget *widget);

signals:
    void clicked();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *m_widget;
    bool m_pressed = false;
};
