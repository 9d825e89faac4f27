// ColorButton: a push button that shows a colour swatch.
#include "gui/colorbutton.h"

#include <QStyle>
#include <QStylePainter>

namespace {

constexpr int kSwatchWidth = 22;
constexpr int kSwatchHeight = 14;

} // namespace

ColorButton::ColorButton(QWidget *pParent) : QAbstractButton(pParent) {
    option.initFrom(this);
    setMinimumSize(style()->sizeFromContents(QStyle::CT_PushButton, &option,
                                             QSize(kSwatchWidth, kSwatchHeight), this));
}

void ColorButton::setColor(const QColor &newColor) {
    if (newColor == color)
        return;
    color = newColor;
    update();
}

void ColorButton::paintEvent(QPaintEvent *) {
    QStylePainter painter(this);
    option.initFrom(this);
    option.state |= isDown() ? QStyle::State_Sunken : QStyle::State_Raised;
    painter.drawControl(QStyle::CE_PushButton, option);

    QStyleOptionFrame frame;
    frame.initFrom(this);
    frame.state = QStyle::State_Sunken;
    // An invalid colour fills nothing, rather than the black it would give.
    const QBrush brush = color.isValid() ? QBrush(color) : QBrush();
    for (auto eGroup : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        frame.palette.setBrush(eGroup, QPalette::Button, brush);
    const QRect contents = style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
    const int iDx = (contents.width() - kSwatchWidth) / 2;
    const int iDy = (contents.height() - kSwatchHeight) / 2;
    frame.rect = contents.adjusted(iDx, iDy, -iDx, -iDy);
    painter.drawPrimitive(QStyle::PE_PanelButtonBevel, frame);
}
