#include "ui/editor/RichTextEditorAccessible.h"

#include "ui/editor/RichTextEditor.h"

#include <QAbstractTextDocumentLayout>
#include <QTextBlock>
#include <QTextBoundaryFinder>
#include <QTextCursor>
#include <QTextLayout>
#include <algorithm>
#include <memory>

namespace quillon {
namespace {

QAccessible::UpdateHandler previousHandler = nullptr;
void handleUpdate(QAccessibleEvent* event);

QAccessibleInterface* createInterface(const QString&, QObject* object) {
    if (auto* editor = qobject_cast<RichTextEditor*>(object)) {
        return new RichTextEditorAccessible(editor);
    }
    return nullptr;
}

// The same event with its offsets in code points; null for every other event.
std::unique_ptr<QAccessibleEvent> inCodePoints(QAccessibleEvent* event) {
    auto* editor = qobject_cast<RichTextEditor*>(event->object());
    if (!editor) {
        return nullptr;
    }
    switch (event->type()) {
    case QAccessible::TextCaretMoved:
    case QAccessible::TextSelectionChanged:
    case QAccessible::TextInserted:
    case QAccessible::TextRemoved:
    case QAccessible::TextUpdated:
        break;
    default:
        // Nothing to convert: the editor's whole text is not worth building for it.
        return nullptr;
    }
    // Every offset lies in a part of the text the change left as it was.
    const QString text = editor->text();
    const auto points = [&text](int units) {
        return RichTextEditorAccessible::codePointsBefore(text, units);
    };
    switch (event->type()) {
    case QAccessible::TextCaretMoved: {
        const auto* moved = static_cast<QAccessibleTextCursorEvent*>(event);
        return std::make_unique<QAccessibleTextCursorEvent>(editor,
                                                            points(moved->cursorPosition()));
    }
    case QAccessible::TextSelectionChanged: {
        const auto* changed = static_cast<QAccessibleTextSelectionEvent*>(event);
        auto converted = std::make_unique<QAccessibleTextSelectionEvent>(
            editor, points(changed->selectionStart()), points(changed->selectionEnd()));
        converted->setCursorPosition(points(changed->cursorPosition()));
        return converted;
    }
    case QAccessible::TextInserted: {
        const auto* inserted = static_cast<QAccessibleTextInsertEvent*>(event);
        auto converted = std::make_unique<QAccessibleTextInsertEvent>(
            editor, points(inserted->changePosition()), inserted->textInserted());
        converted->setCursorPosition(points(inserted->cursorPosition()));
        return converted;
    }
    case QAccessible::TextRemoved: {
        const auto* removed = static_cast<QAccessibleTextRemoveEvent*>(event);
        auto converted = std::make_unique<QAccessibleTextRemoveEvent>(
            editor, points(removed->changePosition()), removed->textRemoved());
        converted->setCursorPosition(points(removed->cursorPosition()));
        return converted;
    }
    case QAccessible::TextUpdated: {
        const auto* updated = static_cast<QAccessibleTextUpdateEvent*>(event);
        auto converted = std::make_unique<QAccessibleTextUpdateEvent>(
            editor, points(updated->changePosition()), updated->textRemoved(),
            updated->textInserted());
        converted->setCursorPosition(points(updated->cursorPosition()));
        return converted;
    }
    default:
        return nullptr;
    }
}

void forward(QAccessibleEvent* event) {
    if (previousHandler) {
        previousHandler(event);
        return;
    }
    // No handler before ours: Qt's own way on to the platform's bridge, with ours out of it.
    QAccessible::installUpdateHandler(nullptr);
    QAccessible::updateAccessibility(event);
    QAccessible::installUpdateHandler(handleUpdate);
}

void handleUpdate(QAccessibleEvent* event) {
    const std::unique_ptr<QAccessibleEvent> converted = inCodePoints(event);
    forward(converted ? converted.get() : event);
}

bool isLowSurrogateOfPair(const QString& text, int unit) {
    return unit > 0 && unit < text.size() && text[unit].isLowSurrogate() &&
           text[unit - 1].isHighSurrogate();
}

// The boundary finder's unit around `unit`: from the boundary at or before it to the next.
std::pair<int, int> finderRange(const QString& text, int unit,
                                QTextBoundaryFinder::BoundaryType type) {
    QTextBoundaryFinder finder(type, text);
    finder.setPosition(unit);
    int start = unit;
    if (!finder.isAtBoundary()) {
        start = std::max<qsizetype>(finder.toPreviousBoundary(), 0);
    }
    finder.setPosition(start);
    const qsizetype end = finder.toNextBoundary();
    return {start, end < 0 ? int(text.size()) : int(end)};
}

} // namespace

RichTextEditorAccessible::RichTextEditorAccessible(RichTextEditor* editor)
    : QAccessibleWidget(editor, QAccessible::EditableText) {}

void RichTextEditorAccessible::install() {
    static const bool installed = [] {
        QAccessible::installFactory(createInterface);
        previousHandler = QAccessible::installUpdateHandler(handleUpdate);
        return true;
    }();
    Q_UNUSED(installed);
}

int RichTextEditorAccessible::codePointsBefore(const QString& text, int units) {
    units = std::clamp(units, 0, int(text.size()));
    int points = 0;
    for (int i = 0; i < units; ++i) {
        if (!isLowSurrogateOfPair(text, i)) {
            ++points;
        }
    }
    return points;
}

int RichTextEditorAccessible::unitsBefore(const QString& text, int codePoints) {
    int points = 0;
    int unit = 0;
    while (unit < text.size() && points < codePoints) {
        ++unit;
        if (!isLowSurrogateOfPair(text, unit)) {
            ++points;
        }
    }
    return unit;
}

RichTextEditor* RichTextEditorAccessible::editor() const {
    return static_cast<RichTextEditor*>(widget());
}

QString RichTextEditorAccessible::content() const {
    return editor()->text();
}

QAccessible::Role RichTextEditorAccessible::role() const {
    return QAccessible::EditableText;
}

QAccessible::State RichTextEditorAccessible::state() const {
    QAccessible::State state = QAccessibleWidget::state();
    state.editable = !editor()->isReadOnly();
    state.readOnly = editor()->isReadOnly();
    state.multiLine = true;
    state.selectableText = true;
    return state;
}

QString RichTextEditorAccessible::text(QAccessible::Text t) const {
    if (t == QAccessible::Value) {
        return content();
    }
    return QAccessibleWidget::text(t);
}

void* RichTextEditorAccessible::interface_cast(QAccessible::InterfaceType type) {
    if (type == QAccessible::TextInterface) {
        return static_cast<QAccessibleTextInterface*>(this);
    }
    if (type == QAccessible::EditableTextInterface) {
        return static_cast<QAccessibleEditableTextInterface*>(this);
    }
    return QAccessibleWidget::interface_cast(type);
}

void RichTextEditorAccessible::selection(int selectionIndex, int* startOffset,
                                         int* endOffset) const {
    *startOffset = 0;
    *endOffset = 0;
    const QTextCursor cursor = editor()->textCursor();
    if (selectionIndex != 0 || !cursor.hasSelection()) {
        return;
    }
    const QString text = content();
    *startOffset = codePointsBefore(text, cursor.selectionStart());
    *endOffset = codePointsBefore(text, cursor.selectionEnd());
}

int RichTextEditorAccessible::selectionCount() const {
    return editor()->textCursor().hasSelection() ? 1 : 0;
}

void RichTextEditorAccessible::addSelection(int startOffset, int endOffset) {
    // One selection at most: a new one replaces it.
    setSelection(0, startOffset, endOffset);
}

void RichTextEditorAccessible::removeSelection(int selectionIndex) {
    if (selectionIndex != 0) {
        return;
    }
    QTextCursor cursor = editor()->textCursor();
    cursor.clearSelection();
    editor()->setTextCursor(cursor);
}

void RichTextEditorAccessible::setSelection(int selectionIndex, int startOffset, int endOffset) {
    if (selectionIndex != 0) {
        return;
    }
    const QString text = content();
    QTextCursor cursor = editor()->textCursor();
    cursor.setPosition(unitsBefore(text, startOffset));
    cursor.setPosition(unitsBefore(text, endOffset), QTextCursor::KeepAnchor);
    editor()->setTextCursor(cursor);
}

int RichTextEditorAccessible::cursorPosition() const {
    return codePointsBefore(content(), editor()->textCursor().position());
}

void RichTextEditorAccessible::setCursorPosition(int position) {
    QTextCursor cursor = editor()->textCursor();
    cursor.setPosition(unitsBefore(content(), position));
    editor()->setTextCursor(cursor);
}

QString RichTextEditorAccessible::text(int startOffset, int endOffset) const {
    const QString text = content();
    const int start = unitsBefore(text, startOffset);
    const int end = unitsBefore(text, endOffset);
    return end > start ? text.mid(start, end - start) : QString();
}

int RichTextEditorAccessible::characterCount() const {
    const QString text = content();
    return codePointsBefore(text, int(text.size()));
}

std::pair<int, int>
RichTextEditorAccessible::unitRange(const QString& text, int unit,
                                    QAccessible::TextBoundaryType boundaryType) const {
    const int length = int(text.size());
    switch (boundaryType) {
    case QAccessible::CharBoundary: {
        const int end =
            unit + 1 < length && text[unit].isHighSurrogate() && text[unit + 1].isLowSurrogate()
                ? unit + 2
                : std::min(unit + 1, length);
        return {unit, end};
    }
    case QAccessible::WordBoundary:
        return finderRange(text, unit, QTextBoundaryFinder::Word);
    case QAccessible::SentenceBoundary:
        return finderRange(text, unit, QTextBoundaryFinder::Sentence);
    case QAccessible::LineBoundary:
    case QAccessible::ParagraphBoundary: {
        const QTextBlock block = editor()->document()->findBlock(unit);
        if (!block.isValid()) {
            return {length, length};
        }
        // A line runs on to the next one's start, so its line break belongs to it.
        const int blockEnd = std::min(block.position() + block.length(), length);
        const QTextLayout* layout = block.layout();
        if (boundaryType == QAccessible::LineBoundary && layout && layout->lineCount() > 1) {
            const QTextLine line = layout->lineForTextPosition(unit - block.position());
            if (line.isValid()) {
                const int start = block.position() + line.textStart();
                const bool last = line.lineNumber() == layout->lineCount() - 1;
                return {start, last ? blockEnd : start + line.textLength()};
            }
        }
        return {block.position(), blockEnd};
    }
    case QAccessible::NoBoundary:
        break;
    }
    return {0, length};
}

QString RichTextEditorAccessible::report(const QString& text, std::pair<int, int> range,
                                         int* startOffset, int* endOffset) const {
    *startOffset = codePointsBefore(text, range.first);
    *endOffset = codePointsBefore(text, range.second);
    return text.mid(range.first, range.second - range.first);
}

QString RichTextEditorAccessible::textAtOffset(int offset,
                                               QAccessible::TextBoundaryType boundaryType,
                                               int* startOffset, int* endOffset) const {
    const QString text = content();
    const int unit = unitsBefore(text, offset);
    if (unit >= text.size() && boundaryType == QAccessible::CharBoundary) {
        *startOffset = *endOffset = codePointsBefore(text, int(text.size()));
        return {};
    }
    // At the very end a line or word is the one the caret stands after.
    const int at = unit >= text.size() && unit > 0 && boundaryType != QAccessible::NoBoundary
                       ? unit - 1
                       : unit;
    return report(text, unitRange(text, at, boundaryType), startOffset, endOffset);
}

QString RichTextEditorAccessible::textBeforeOffset(int offset,
                                                   QAccessible::TextBoundaryType boundaryType,
                                                   int* startOffset, int* endOffset) const {
    const QString text = content();
    const int unit = std::min(unitsBefore(text, offset), int(text.size()));
    const int start = boundaryType == QAccessible::CharBoundary || unit >= text.size()
                          ? unit
                          : unitRange(text, unit, boundaryType).first;
    if (start <= 0 || boundaryType == QAccessible::NoBoundary) {
        *startOffset = *endOffset = 0;
        return {};
    }
    // The unit holding the character just before.
    const int before = isLowSurrogateOfPair(text, start - 1) ? start - 2 : start - 1;
    return report(text, unitRange(text, before, boundaryType), startOffset, endOffset);
}

QString RichTextEditorAccessible::textAfterOffset(int offset,
                                                  QAccessible::TextBoundaryType boundaryType,
                                                  int* startOffset, int* endOffset) const {
    const QString text = content();
    const int unit = unitsBefore(text, offset);
    // Counted in the text already taken, not in a second copy of it.
    const int count = codePointsBefore(text, int(text.size()));
    if (unit >= text.size() || boundaryType == QAccessible::NoBoundary) {
        *startOffset = *endOffset = count;
        return {};
    }
    const int end = unitRange(text, unit, boundaryType).second;
    if (end >= text.size()) {
        *startOffset = *endOffset = count;
        return {};
    }
    return report(text, unitRange(text, end, boundaryType), startOffset, endOffset);
}

QRect RichTextEditorAccessible::characterRect(int offset) const {
    const QString text = content();
    const int unit = unitsBefore(text, offset);
    QTextCursor cursor(editor()->document());
    cursor.setPosition(unit);
    QRect rect = editor()->cursorRect(cursor);
    const QTextBlock block = cursor.block();
    const QTextLine line =
        block.layout() ? block.layout()->lineForTextPosition(unit - block.position()) : QTextLine();
    if (line.isValid()) {
        const int next = unitRange(text, unit, QAccessible::CharBoundary).second;
        const qreal from = line.cursorToX(unit - block.position());
        const qreal to = line.cursorToX(next - block.position());
        rect.setWidth(std::max(1, qRound(to - from)));
    }
    return QRect(editor()->viewport()->mapToGlobal(rect.topLeft()), rect.size());
}

int RichTextEditorAccessible::offsetAtPoint(const QPoint& point) const {
    const QPoint local = editor()->viewport()->mapFromGlobal(point);
    if (!editor()->viewport()->rect().contains(local)) {
        return -1;
    }
    return codePointsBefore(content(), editor()->cursorForPosition(local).position());
}

void RichTextEditorAccessible::scrollToSubstring(int, int) {
    // The editor grows with its text instead of scrolling; the page around it follows the
    // caret.
}

QString RichTextEditorAccessible::attributes(int, int* startOffset, int* endOffset) const {
    // The text carries no attributes of its own: its styles are in its characters.
    *startOffset = 0;
    *endOffset = characterCount();
    return {};
}

QTextCursor RichTextEditorAccessible::range(int startOffset, int endOffset) const {
    const QString text = content();
    QTextCursor cursor = editor()->textCursor();
    cursor.setPosition(unitsBefore(text, startOffset));
    cursor.setPosition(unitsBefore(text, endOffset), QTextCursor::KeepAnchor);
    return cursor;
}

void RichTextEditorAccessible::deleteText(int startOffset, int endOffset) {
    range(startOffset, endOffset).removeSelectedText();
}

void RichTextEditorAccessible::insertText(int offset, const QString& text) {
    range(offset, offset).insertText(text);
}

void RichTextEditorAccessible::replaceText(int startOffset, int endOffset, const QString& text) {
    range(startOffset, endOffset).insertText(text);
}

} // namespace quillon
