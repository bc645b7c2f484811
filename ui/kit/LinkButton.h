#pragma once

#include <QColor>
#include <QPushButton>
#include <QUrl>

namespace quillon {

// A text link that opens its address in the default browser: underlined text in its colour,
// a thicker underline under the pointer, dimmed while pressed, the pointing hand, a Tab stop
// that Enter and Space activate, and the link role for screen readers.
class LinkButton : public QPushButton {
    Q_OBJECT

public:
    // Above and below the text, so the focus ring stands clear of it; none beside it, so the
    // text lines up with the column it stands in.
    static constexpr int horizontalPadding = 0;
    static constexpr int verticalPadding = 2;
    static constexpr qreal pressedOpacity = 0.7;

    LinkButton(const QString& text, QUrl url, const QColor& color, QWidget* parent = nullptr);

    QUrl url() const { return m_url; }
    QColor color() const { return m_color; }
    // The underline's thickness: thicker while the pointer is over the link.
    int underlineWidth() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    const QUrl m_url;
    const QColor m_color;
    bool m_hovered = false;
};

} // namespace quillon
