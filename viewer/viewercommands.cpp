// The viewer's commands: pause and continue, print, leave, clicks and keys.
#include "viewer/viewerwindow.h"

#include "desktop/eventyield.h"
#include "desktop/platformservices.h"
#include "runtime/runtimeerror.h"
#include "state/sharedstate.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QPushButton>

void LARK_M7::Command3_Click()
{
    if (m_state.ShowRunning != 0) {
        // Pause: the loop beneath ends at its next stop test.
        applyPausedLayout();
        Command3->setText(QStringLiteral("Continua"));
        // Both counters are tested before either is stored.
        const int pictures = m_state.PictureCount.plus(-1);
        m_state.ShowRunning = 0;
        const int blocks = m_state.BlockCount.plus(-1);
        m_state.PictureCount = pictures;
        m_state.BlockCount = blocks;
        Command1->show();
        Command2->show();
        Command3->show();
        m_state.ShowState = ShowStopped;
        return;
    }

    // Continue: the loop goes on from the enumeration's position and the counters as they are.
    Command3->setText(QStringLiteral("PAUSA"));
    m_state.ShowRunning = 1;
    m_state.ShowState = ShowContinued;
    applyRunningLayout();
    EventYield::yieldOnce();
    Command1->hide();
    Command2->hide();
    Command3->show();
    m_state.LoopActive = 0;
    // At the deepest nesting the loop refuses the entry and the loop beneath carries the
    // show on.
    if (!m_left)
        RunPictureLoop();
}

void LARK_M7::Command2_Click()
{
    leave(false);
}

void LARK_M7::leave(bool byFrame)
{
    if (m_left)
        return;
    m_state.ShowStarted = 0;
    m_state.PictureCount = CountBeyondLimits;
    m_state.BlockCount = CountBeyondLimits;
    // The window goes at once for the user; it is destroyed only once no loop of it is left
    // on the stack, and those loops end at their next test.
    m_left = true;
    // Its pictures are not wanted any more: their decodes stop, the one waited for included.
    m_pictures.cancel();
    hide();
    announceShow();
    emit left(byFrame);
}

void LARK_M7::Command1_Click()
{
    PrintViewer();
}

void LARK_M7::PrintViewer()
{
    try {
        Command1->hide();
        Command2->hide();
        Command3->hide();
        m_services.printImage(grab().toImage());
    } catch (const RuntimeError &error) {
        m_services.showMessage(this, QStringLiteral("STAMPA NON POSSIBILE !!! - ERR:") +
                                         errorNumberText(error.number()));
    }
    Command1->show();
    Command2->show();
    Command3->show();
}

void LARK_M7::Image1_Click()
{
    m_state.PictureCount = CountBeyondLimits;
    m_state.BlockCount = CountBeyondLimits;
    EventYield::yieldOnce();
    Command3_Click();
    EventYield::yieldOnce();
}

void LARK_M7::Form_Click()
{
    m_state.ShowRunning = 0;
    Command3_Click();
}

void LARK_M7::Picture1_Click()
{
    Command3_Click();
}

void LARK_M7::Form_KeyPress(Int16 &KeyAscii)
{
    if (KeyAscii != 0)
        m_state.ShowRunning = 0;
}

void LARK_M7::keyPressEvent(QKeyEvent *event)
{
    // F11 gives no character and is no key press of the show: it only switches the window
    // between the whole screen and maximized, once however long it is held.
    if (event->key() == Qt::Key_F11) {
        if (!event->isAutoRepeat())
            setFullScreen(!isFullScreen());
        return;
    }
    // Only keys that give a character count, as a key press does.
    const QString text = event->text();
    Int16 code = text.isEmpty() ? 0 : qMin<int>(text[0].unicode(), Int16::Max);
    guarded([this, code]() mutable { Form_KeyPress(code); });
    QWidget::keyPressEvent(event);
}

void LARK_M7::closeEvent(QCloseEvent *event)
{
    // Closing the window by its frame leaves it as "USCITA" does.
    event->ignore();
    guarded([this] { leave(true); }, /*leaves*/ true);
}
