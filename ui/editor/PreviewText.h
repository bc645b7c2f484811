#pragma once

#include <QClipboard>
#include <QString>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#include <QWidget>

namespace quillon {

// The preview's text: plain text wrapped at the widget's width and as tall as its lines, drawn
// as a word-wrapped label draws it, and selectable with the mouse. A new text changes only the
// part that differs from the old one, so only the lines there are laid out again; the rest keeps
// its layout (shaping colour emoji decodes their images, which costs more than the letters).
// When a change spans more than a few thousand characters (a command over a long post, a new
// width), the lines up to a chunk of text are laid out at once, the height of the rest is
// estimated, and the layout goes on a chunk at a time while the event loop is free, to the
// exact height. A change past what is laid out meanwhile lays out the lines up to it first.
class PreviewText : public QWidget {
    Q_OBJECT

public:
    explicit PreviewText(QWidget* parent = nullptr);

    // The text exactly as given, line breaks as "\n".
    QString text() const { return m_text; }
    void setText(const QString& text);

    // The document as laid out at the widget's width, for what reads its lines.
    const QTextDocument& document() const { return m_document; }

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    // The layout is still being finished in the background.
    bool isLayingOut() const { return m_isLayingOut; }

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    // Lays the document out at `width` unless it already is.
    void wrapAt(int width) const;
    // The lines from the start up to a chunk of text now, the rest in the background.
    void layOutAnew() const;
    // Lays out about `count` code units more after what is laid out; true once at the end.
    bool layOutFurther(int count) const;
    void layOutInBackground();
    // The layout went back to `position` for a change there.
    void laidOutUpTo(int position) const;
    int textHeight() const;
    void refreshHeight();
    QTextCursor caretAt(const QPointF& point) const;
    void select(const QTextCursor& selection);
    void copySelection(QClipboard::Mode mode) const;

    mutable QTextDocument m_document;
    QString m_text;
    // m_text as the document holds it.
    QString m_shown;
    QTextCursor m_selection;
    int m_height = 0;
    // While the layout is finished in the background: up to where it is laid out, how tall
    // that part is, and the document layout's own timer, which would lay out ever larger
    // steps at once.
    mutable bool m_isLayingOut = false;
    mutable int m_laidOutTo = 0;
    mutable qreal m_laidOutHeight = 0;
    mutable int m_layoutTimer = 0;
    mutable QTimer m_layoutSteps;
};

} // namespace quillon
