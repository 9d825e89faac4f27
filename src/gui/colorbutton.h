// ColorButton: the text-colour button of the editor's font tool bar, a push
// button that shows a swatch of one colour and nothing else.
#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QStyleOptionButton>

// The swatch is 22 x 14 pixels, centred in the button's contents, however
// large the button grows. The button has no click behaviour of its own: the
// owner connects the inherited pressed() signal. Until setColor is called
// the colour is invalid and the swatch stays empty. GUI thread only.
class ColorButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit ColorButton(QWidget *pParent = nullptr);

    // Repaints only when the colour differs from the one shown.
    void setColor(const QColor &newColor);
    QColor getColor() const { return color; }

protected:
    void paintEvent(QPaintEvent *pEvent) override;

private:
    QStyleOptionButton option; // refreshed from the widget on every paint
    QColor color;
};
