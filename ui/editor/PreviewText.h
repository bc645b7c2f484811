#pragma once

#include <QClipboard>
#include <QString>
#include <QTextCursor>
#include <QTextDocument>
#include <QWidget>

namespace quillon {

// The preview's text: plain text wrapped at the widget's width and as tall as its lines, drawn
// as a word-wrapped label draws it, and selectable with the mouse. A new text changes only the
// part that differs from the old one, so only the lines there are laid out again; the rest keeps
// its layout (shaping colour emoji decodes their images, which costs more than the letters).
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

protected:
    bool event(QEvent* event) override;
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
    int textHeight() const;
    QTextCursor caretAt(const QPointF& point) const;
    void select(const QTextCursor& selection);
    void copySelection(QClipboard::Mode mode) const;

    mutable QTextDocument m_document;
    QString m_text;
    // m_text as the document holds it.
    QString m_shown;
    QTextCursor m_selection;
    int m_height = 0;
};

} // namespace quillon
