#pragma once

#include <QScrollArea>

class QVBoxLayout;

namespace quillon {

// The frame of a pane: a vertical scroll view on the page background whose content is one
// full-width column with the standard padding, filled from the top.
class ScrollPane : public QScrollArea {
    Q_OBJECT

public:
    explicit ScrollPane(int spacing, QWidget* parent = nullptr);

    QWidget* content() const { return m_content; }
    QVBoxLayout* column() const { return m_column; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void keepContentWidth();

    QWidget* m_content;
    QVBoxLayout* m_column;
};

} // namespace quillon
