// album-plainwindow: a plain Qt Widgets window (a label, a field and a button), the yardstick
// of the program's start-up. It prints "shown" once the window has been painted, then quits,
// as album does with ALBUM_QUIT_WHEN_SHOWN set.
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

#include <cstdio>

namespace {

class QuitWhenShown : public QObject
{
public:
    using QObject::QObject;
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && !m_shown) {
            m_shown = true;
            QTimer::singleShot(0, this, [] {
                std::puts("shown");
                std::fflush(stdout);
                QCoreApplication::quit();
            });
        }
        return false;
    }

private:
    bool m_shown = false;
};

} // namespace

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QWidget window;
    auto *layout = new QVBoxLayout(&window);
    layout->addWidget(new QLabel(QStringLiteral("Cartella"), &window));
    layout->addWidget(new QLineEdit(&window));
    layout->addWidget(new QPushButton(QStringLiteral("CONFERMA"), &window));
    window.resize(532, 400);
    window.installEventFilter(new QuitWhenShown(&window));
    window.show();
    return QApplication::exec();
}
