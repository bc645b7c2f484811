#pragma once

#include <QMargins>
#include <QScrollArea>

class QVBoxLayout;

namespace quillon {

// The frame of a pane: a vertical scroll view on the page background whose content is one
// full-width column with the standard padding, filled from the top. The column's right edge
// keeps the scroll bar's room whether the bar shows or not, and a bar laid under the pane takes
// its margins from here, so the page and its bottom bar share one column.
class ScrollPane : public QScrollArea {
    Q_OBJECT

public:
    explicit ScrollPane(int spacing, QWidget* parent = nullptr);

    QWidget* content() const { return m_content; }
    QVBoxLayout* column() const { return m_column; }

    // Margins for a bar laid under the pane, outside its scrolling (the editor's buttons):
    // its column starts and ends where the page's does.
    QMargins barMargins(int top, int bottom) const;
    // The width the column keeps for the scroll bar, shown or not.
    int scrollBarRoom() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void keepContentWidth();

    QWidget* m_content;
    QVBoxLayout* m_column;
};

} // namespace quillon
