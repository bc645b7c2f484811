#pragma once

#include "ui/theme/Symbols.h"

#include <QAbstractButton>
#include <QColor>

namespace quillon {

// A button without chrome showing one symbol, centred in a fixed square frame that is all
// of its hit area.
class GlyphButton : public QAbstractButton {
    Q_OBJECT

public:
    GlyphButton(Symbol symbol, int symbolPixelSize, int frameSize, const QColor& color,
                QWidget* parent = nullptr);

    Symbol symbol() const { return m_symbol; }
    QColor color() const { return m_color; }

    QSize sizeHint() const override { return {m_frame, m_frame}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Symbol m_symbol;
    int m_symbolSize;
    int m_frame;
    QColor m_color;
};

} // namespace quillon
