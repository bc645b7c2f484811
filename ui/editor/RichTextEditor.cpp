#include "ui/editor/RichTextEditor.h"

#include "core/model/UnicodeText.h"
#include "core/storage/DraftStore.h"
#include "ui/editor/FormatTransforms.h"
#include "ui/editor/RichTextEditorAccessible.h"
#include "ui/kit/WindowPaletteScrollBar.h"
#include "ui/theme/Theme.h"
#include "ui/theme/Typography.h"

#include <QAbstractTextDocumentLayout>
#include <QKeyEvent>
#include <QMimeData>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTextOption>
#include <QtMath>

namespace quillon {
namespace {

// The document keeps every line break as a block separator (U+2029); the text counts it as
// "\n", one code unit either way, so document positions and text positions are the same.
QString fromDocumentText(QString text) {
    return text.replace(QChar::ParagraphSeparator, u'\n');
}

} // namespace

RichTextEditor::RichTextEditor(QWidget* parent)
    : QPlainTextEdit(parent) {
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // The editor sets its own palette (and the page around it does), which its scroll bar
    // would otherwise draw in, a new one for every editor made.
    setVerticalScrollBar(new WindowPaletteScrollBar(Qt::Vertical));
    // A page step clicked on the bar moves by the lines in view, as with the bar the editor
    // came with; the replaced bar took that connection with it.
    connect(verticalScrollBar(), SIGNAL(actionTriggered(int)), this,
            SLOT(_q_verticalScrollbarActionTriggered(int)));
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Lines wrap at the width, but a space that ends one still reaches past it, and the caret
    // there would scroll every line sideways, cutting their first letters: there is nothing to
    // scroll to.
    connect(horizontalScrollBar(), &QScrollBar::rangeChanged, this, [this](int, int maximum) {
        if (maximum != 0) {
            horizontalScrollBar()->setRange(0, 0);
        }
    });
    setFrameShape(QFrame::NoFrame);
    // Screen readers get the text in code points, before Qt's interface is first asked for.
    RichTextEditorAccessible::install();
    setAttribute(Qt::WA_MacShowFocusRect, false);
    setBackgroundVisible(false);
    viewport()->setAutoFillBackground(false);
    setViewportMargins(0, 0, 0, 0);
    document()->setDocumentMargin(0);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    // Words longer than the line still wrap, as there is no horizontal scrolling.
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);

    setFont(quillon::font(TextStyle::body));
    // Tab moves on to the next control; a post has no use for tab characters.
    setTabChangesFocus(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Text, Theme::inkNSColor());
    setPalette(palette);

    connect(this, &QPlainTextEdit::textChanged, this, [this] {
        if (!m_isApplyingCommand && !m_isSettingText) {
            userDidEdit();
        }
    });
}

void RichTextEditor::bindText(DraftStore& store) {
    disconnect(m_storeConnection);
    m_store = &store;
    m_storeConnection =
        connect(&store, &DraftStore::editorTextChanged, this, &RichTextEditor::setText);
    setText(store.editorText());
}

QString RichTextEditor::text() const {
    return fromDocumentText(document()->toRawText());
}

void RichTextEditor::setText(const QString& text) {
    if (unicode::canonicallyEqual(this->text(), text)) {
        return;
    }
    m_isSettingText = true;
    if (m_isChangingUndoably) {
        QTextCursor cursor(document());
        cursor.beginEditBlock();
        cursor.select(QTextCursor::Document);
        cursor.insertText(text);
        cursor.endEditBlock();
        setTextCursor(cursor);
    } else {
        setPlainText(text);
    }
    m_isSettingText = false;
}

void RichTextEditor::changeUndoably(const std::function<void()>& change) {
    const bool wasChanging = m_isChangingUndoably;
    m_isChangingUndoably = true;
    change();
    m_isChangingUndoably = wasChanging;
}

void RichTextEditor::growWithText(int minimumHeight) {
    m_grownFromHeight = minimumHeight;
    connect(document()->documentLayout(), &QAbstractTextDocumentLayout::documentSizeChanged, this,
            &RichTextEditor::fitHeightToText, Qt::UniqueConnection);
    fitHeightToText();
}

void RichTextEditor::setGrowthLimit(int maximumHeight) {
    if (maximumHeight == m_growthLimit) {
        return;
    }
    m_growthLimit = maximumHeight;
    fitHeightToText();
}

void RichTextEditor::fitHeightToText() {
    // Measuring a block not yet laid out lays it out, and a block whose line count changes
    // reports a new document size, which calls this again: nested, every block would measure
    // every block before it, one stack frame deeper per block. The outer call measures all.
    if (!m_grownFromHeight || m_isFittingHeight) {
        return;
    }
    m_isFittingHeight = true;
    const QMargins frame = contentsMargins();
    const int limit = qMax(*m_grownFromHeight, m_growthLimit);
    // The editor scrolls unless a pixel more than the text is visible.
    const int room = frame.top() + frame.bottom() + 1;
    qreal textHeight = 2 * document()->documentMargin();
    // Past the limit the editor scrolls, so the blocks further down are left to be laid out
    // when they come into view.
    for (QTextBlock block = document()->begin(); block.isValid() && textHeight + room <= limit;
         block = block.next()) {
        textHeight += blockBoundingRect(block).height();
    }
    m_isFittingHeight = false;
    const int needed = qCeil(textHeight) + room;
    setMinimumHeight(qBound(*m_grownFromHeight, needed, limit));
}

void RichTextEditor::leaveShortcutsToScreen(const QList<QKeySequence>& keys) {
    m_screenShortcuts = keys;
}

bool RichTextEditor::event(QEvent* event) {
    if (event->type() == QEvent::ShortcutOverride) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const QKeySequence pressed(key->keyCombination());
        if (m_screenShortcuts.contains(pressed)) {
            // Left unaccepted, the key goes to the screen's shortcut.
            event->ignore();
            return true;
        }
    }
    return QPlainTextEdit::event(event);
}

void RichTextEditor::keyPressEvent(QKeyEvent* event) {
    const bool isEnter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (isEnter && event->modifiers().testFlag(Qt::ShiftModifier)) {
        // Shift+Enter would put a line separator (U+2028) into the post; every line break
        // typed is "\n".
        QKeyEvent plain(event->type(), event->key(), event->modifiers() & ~Qt::ShiftModifier,
                        event->text(), event->isAutoRepeat(), ushort(event->count()));
        QPlainTextEdit::keyPressEvent(&plain);
        event->setAccepted(plain.isAccepted());
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

void RichTextEditor::resizeEvent(QResizeEvent* event) {
    QPlainTextEdit::resizeEvent(event);
    // A new width wraps the lines anew.
    fitHeightToText();
}

void RichTextEditor::setCommand(std::optional<EditorFormatCommand> command) {
    if (command == m_command) {
        return;
    }
    m_command = command;
    Q_EMIT commandChanged(m_command);
    if (!m_command) {
        return;
    }
    m_isApplyingCommand = true;
    apply(*m_command);
    m_isApplyingCommand = false;
    // Queued after the deferred text write, so the binding holds the new text before the
    // command reads none.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (m_command) {
                m_command.reset();
                Q_EMIT commandChanged(m_command);
            }
        },
        Qt::QueuedConnection);
}

void RichTextEditor::setOnFirstEdit(std::function<void()> onFirstEdit) {
    m_onFirstEdit = std::move(onFirstEdit);
}

void RichTextEditor::apply(EditorFormatCommand command) {
    const QTextCursor selection = textCursor();
    const TextRange selected{selection.selectionStart(),
                             selection.selectionEnd() - selection.selectionStart()};
    const std::optional<FormatEdit> edit = formatting::makeFormatEdit(command, text(), selected);
    if (!edit) {
        return;
    }
    // Straight through the document: the change signal it raises is not a user edit here.
    QTextCursor cursor(document());
    cursor.beginEditBlock();
    cursor.setPosition(int(edit->range.location));
    cursor.setPosition(int(edit->range.end()), QTextCursor::KeepAnchor);
    cursor.insertText(edit->replacement);
    cursor.endEditBlock();

    QTextCursor newSelection(document());
    newSelection.setPosition(int(edit->selection.location));
    newSelection.setPosition(int(edit->selection.end()), QTextCursor::KeepAnchor);
    setTextCursor(newSelection);
    pushText(text());
}

void RichTextEditor::userDidEdit() {
    if (!m_didTrackFirstEdit) {
        m_didTrackFirstEdit = true;
        if (m_onFirstEdit) {
            m_onFirstEdit();
        }
    }
    pushText(text());
}

void RichTextEditor::pushText(const QString& text) {
    if (!m_store) {
        return;
    }
    if (!m_isApplyingCommand) {
        m_store->setEditorText(text);
        return;
    }
    // Bound to the store, not to this editor, so the write still lands if the editor is
    // gone by then.
    QMetaObject::invokeMethod(
        m_store.data(),
        [store = m_store, text] {
            if (store) {
                store->setEditorText(text);
            }
        },
        Qt::QueuedConnection);
}

bool RichTextEditor::canInsertFromMimeData(const QMimeData* source) const {
    return source->hasText() || source->hasHtml();
}

void RichTextEditor::insertFromMimeData(const QMimeData* source) {
    // Only characters come in: styled runs, images and other data are dropped.
    QString characters;
    if (source->hasText()) {
        characters = source->text();
    } else if (source->hasHtml()) {
        characters = fromDocumentText(QTextDocumentFragment::fromHtml(source->html()).toRawText());
    } else {
        return;
    }
    insertPlainText(characters);
    ensureCursorVisible();
}

QMimeData* RichTextEditor::createMimeDataFromSelection() const {
    // The default copy turns no-break spaces into spaces; the characters are the formatting.
    auto* data = new QMimeData;
    data->setText(fromDocumentText(textCursor().selectedText()));
    return data;
}

} // namespace quillon
