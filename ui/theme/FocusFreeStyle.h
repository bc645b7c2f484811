#pragma once

#include <QProxyStyle>

namespace quillon {

// The application's style (Fusion underneath) with none of the style's own focus marks: its
// 1 px frames in the palette's pale highlight fall below 3:1 against the card and show after
// clicks too. The keyboard's focus is shown by the focus ring alone (ui/kit/FocusRing).
class FocusFreeStyle : public QProxyStyle {
    Q_OBJECT

public:
    // Takes ownership of `base`; Fusion when none is given.
    explicit FocusFreeStyle(QStyle* base = nullptr);

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget = nullptr) const override;
    void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                            QPainter* painter, const QWidget* widget = nullptr) const override;
};

} // namespace quillon
