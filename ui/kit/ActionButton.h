#pragma once

#include "ui/theme/Metrics.h"

#include <QColor>
#include <QPushButton>

namespace quillon {

// The full-width action button every screen uses ("Post to LinkedIn", "Save draft", ...):
// headline text in ink, 14 px above and below the label, a fill clipped to a rounded
// rectangle of radius 8 that drops to opacity 0.7 while pressed, and optionally a 1 px border
// of ink at 0.2 of which only the inner half shows. PrimaryButton and SecondaryButton are the
// two looks.
class ActionButton : public QPushButton {
    Q_OBJECT

public:
    static constexpr int verticalPadding = 14;
    static constexpr qreal cornerRadius = Metrics::cornerRadius;
    static constexpr qreal pressedOpacity = 0.7;
    static constexpr qreal borderOpacity = 0.2;
    static constexpr qreal borderWidth = 1;

    bool hasBorder() const { return m_hasBorder; }

    // Room around the label: none beside it and verticalPadding above and below for the
    // full-width buttons; a button sized to its label (a sheet's "Close") asks for some beside.
    void setPadding(int horizontal, int vertical);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    ActionButton(const QString& text, QColor fill, bool hasBorder, QWidget* parent);

    void paintEvent(QPaintEvent* event) override;

private:
    const QColor m_fill;
    const bool m_hasBorder;
    int m_horizontalPadding = 0;
    int m_verticalPadding = verticalPadding;
};

} // namespace quillon
