#include "runtime/windowlook.h"

#include "runtime/twips.h"

#include <QWidget>

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

QFont windowFont(bool bold)
{
    QFont font;
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"),
                      QStringLiteral("DejaVu Sans")});
    font.setPointSizeF(8.25);
    font.setBold(bold);
    return font;
}

} // namespace WindowLook
