#include "desktop/windowlook.h"

#include "runtime/twips.h"

#include <QAbstractButton>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QFontDatabase>
#include <QWidget>

namespace {

constexpr qreal FitStep = 0.25;   // points
constexpr qreal SmallestFont = 6; // points: below it a caption is no longer readable

// The width of the control, from its left edge, that no control stacked above it covers,
// pixels. Labels paint no background and cover nothing.
int uncoveredWidth(const QWidget *control)
{
    int width = control->width();
    const QObjectList siblings =
        control->parentWidget() ? control->parentWidget()->children() : QObjectList();
    for (qsizetype i = siblings.indexOf(control) + 1; i < siblings.size(); ++i) {
        const auto *above = qobject_cast<const QWidget *>(siblings[i]);
        if (above && !qobject_cast<const QLabel *>(above) && !above->isHidden() &&
            above->geometry().intersects(control->geometry()))
            width = qMin(width, above->x() - control->x());
    }
    return width;
}

// The width the style gives a push button around the caption, pixels. The caption is left out
// of the style's option: Fusion makes any button with a text at least 80 pixels wide.
int buttonWidth(const QPushButton *button, const QString &caption)
{
    QStyleOptionButton option;
    option.initFrom(button);
    if (button->autoDefault())
        option.features |= QStyleOptionButton::AutoDefaultButton;
    const QSize text = button->fontMetrics().size(Qt::TextShowMnemonic, caption);
    return button->style()->sizeFromContents(QStyle::CT_PushButton, &option, text, button).width();
}

bool captionFits(const QWidget *control, const QStringList &otherCaptions)
{
    if (const auto *label = qobject_cast<const QLabel *>(control); label && label->wordWrap())
        return label->heightForWidth(label->width()) <= label->height();
    QSize need = control->sizeHint();
    if (const auto *button = qobject_cast<const QPushButton *>(control)) {
        need.setWidth(0);
        for (const QString &caption : otherCaptions + QStringList{button->text()})
            need.setWidth(qMax(need.width(), buttonWidth(button, caption)));
    }
    // A check box's indicator and focus frame may stand out of it; its text may not.
    if (qobject_cast<const QAbstractButton *>(control))
        need.setHeight(control->fontMetrics().height());
    return need.width() <= uncoveredWidth(control) && need.height() <= control->height();
}

} // namespace

namespace WindowLook {

void place(QWidget *widget, int left, int top, int width, int height)
{
    widget->setGeometry(Twips::toPixels(left), Twips::toPixels(top), Twips::toPixels(width),
                        Twips::toPixels(height));
}

void describe(QWidget *widget, const QString &name, const QString &description)
{
    widget->setAccessibleName(name);
    widget->setAccessibleDescription(description);
}

QFont designFont(const QStringList &families, qreal points, bool bold)
{
    // Only the families the desktop has: looking for one it lacks asks fontconfig for a
    // stand-in, which costs more than the rest of the window's start.
    static const QStringList installed = QFontDatabase::families();
    QStringList present;
    for (const QString &family : families) {
        if (installed.contains(family, Qt::CaseInsensitive))
            present << family;
    }
    QFont font;
    font.setFamilies(present);
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

QFont windowFont(bool bold)
{
    return designFont({QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"),
                       QStringLiteral("DejaVu Sans")},
                      8.25, bold);
}

void fitCaption(QWidget *control, const QStringList &otherCaptions)
{
    QFont font = control->font();
    while (!captionFits(control, otherCaptions) && font.pointSizeF() - FitStep >= SmallestFont) {
        font.setPointSizeF(font.pointSizeF() - FitStep);
        control->setFont(font);
    }
}

} // namespace WindowLook
