#pragma once

#include <QAbstractButton>
#include <QColor>
#include <optional>

namespace quillon {

// A button without chrome whose label is any layout of widgets: the whole rectangle is
// clickable, blank space included. Optionally drawn on a rounded fill, for cards.
class ContentButton : public QAbstractButton {
    Q_OBJECT

public:
    explicit ContentButton(QWidget* parent = nullptr);

    // Adopts `content` as the label; its children stop taking the mouse.
    void setContent(QWidget* content);
    QWidget* content() const { return m_content; }
    void setBackground(std::optional<QColor> fill, qreal cornerRadius);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override;
    int heightForWidth(int width) const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }

private:
    QWidget* m_content = nullptr;
    std::optional<QColor> m_fill;
    qreal m_radius = 0;
};

} // namespace quillon
