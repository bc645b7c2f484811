#pragma once

#include <QAccessibleWidget>
#include <QString>
#include <QTextCursor>

namespace quillon {

class RichTextEditor;

// What a screen reader gets of the post editor: its text with every offset and length in
// characters as the reader counts them (Unicode code points). Qt's own interface counts UTF-16
// units, and Qt 6.4's AT-SPI bridge passes those on unchanged, so each bold or italic letter
// (a mathematical letter outside the Basic Multilingual Plane, two units) would count twice
// and a line holding them would be read cut or garbled.
class RichTextEditorAccessible : public QAccessibleWidget,
                                 public QAccessibleTextInterface,
                                 public QAccessibleEditableTextInterface {
public:
    explicit RichTextEditorAccessible(RichTextEditor* editor);

    // Makes every RichTextEditor use this interface, and turns the offsets of the text events
    // it sends into code points. Once per process; later calls do nothing.
    static void install();

    // Code points in `text` before the UTF-16 position `units`, and back. Positions inside a
    // surrogate pair count the whole character; positions past the end are clamped.
    static int codePointsBefore(const QString& text, int units);
    static int unitsBefore(const QString& text, int codePoints);

    // QAccessibleInterface
    QAccessible::Role role() const override;
    QAccessible::State state() const override;
    QString text(QAccessible::Text t) const override;
    void* interface_cast(QAccessible::InterfaceType type) override;

    // QAccessibleTextInterface, in code points
    void selection(int selectionIndex, int* startOffset, int* endOffset) const override;
    int selectionCount() const override;
    void addSelection(int startOffset, int endOffset) override;
    void removeSelection(int selectionIndex) override;
    void setSelection(int selectionIndex, int startOffset, int endOffset) override;
    int cursorPosition() const override;
    void setCursorPosition(int position) override;
    QString text(int startOffset, int endOffset) const override;
    QString textBeforeOffset(int offset, QAccessible::TextBoundaryType boundaryType,
                             int* startOffset, int* endOffset) const override;
    QString textAfterOffset(int offset, QAccessible::TextBoundaryType boundaryType,
                            int* startOffset, int* endOffset) const override;
    QString textAtOffset(int offset, QAccessible::TextBoundaryType boundaryType, int* startOffset,
                         int* endOffset) const override;
    int characterCount() const override;
    QRect characterRect(int offset) const override;
    int offsetAtPoint(const QPoint& point) const override;
    void scrollToSubstring(int startIndex, int endIndex) override;
    QString attributes(int offset, int* startOffset, int* endOffset) const override;

    // QAccessibleEditableTextInterface, in code points; edits like typed ones
    void deleteText(int startOffset, int endOffset) override;
    void insertText(int offset, const QString& text) override;
    void replaceText(int startOffset, int endOffset, const QString& text) override;

private:
    RichTextEditor* editor() const;
    // A cursor over [startOffset, endOffset), in code points.
    QTextCursor range(int startOffset, int endOffset) const;
    QString content() const;
    // The UTF-16 range [start, end) of the boundary unit holding the UTF-16 position `unit`.
    std::pair<int, int> unitRange(const QString& text, int unit,
                                  QAccessible::TextBoundaryType boundaryType) const;
    // `range` as code points into `*startOffset` and `*endOffset`, returning its text.
    QString report(const QString& text, std::pair<int, int> range, int* startOffset,
                   int* endOffset) const;
};

} // namespace quillon
