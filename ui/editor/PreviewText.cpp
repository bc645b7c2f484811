#include "ui/editor/PreviewText.h"

#include <QAbstractEventDispatcher>
#include <QAbstractTextDocumentLayout>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>
#include <QTextBlock>
#include <QTextOption>
#include <QTimerEvent>
#include <QtMath>

using namespace Qt::StringLiterals;

namespace quillon {
namespace {

// Read as a label is, its text as its name.
class PreviewTextAccessible : public QAccessibleWidget {
public:
    explicit PreviewTextAccessible(PreviewText* widget)
        : QAccessibleWidget(widget, QAccessible::StaticText) {}

    QString text(QAccessible::Text kind) const override {
        if (kind == QAccessible::Name && widget()->accessibleName().isEmpty()) {
            return static_cast<PreviewText*>(widget())->text();
        }
        return QAccessibleWidget::text(kind);
    }
};

QAccessibleInterface* accessibleFor(const QString& className, QObject* object) {
    if (className == QLatin1String(PreviewText::staticMetaObject.className()) &&
        object->isWidgetType()) {
        return new PreviewTextAccessible(static_cast<PreviewText*>(object));
    }
    return nullptr;
}

// The text as the document holds it, one position a code unit: the document makes CR LF one
// line break, and CR alone one too, as it would for the text given whole.
QString documentText(const QString& text) {
    if (!text.contains(u'\r')) {
        return text;
    }
    QString shown = text;
    shown.replace(u"\r\n"_s, u"\n"_s);
    shown.replace(u'\r', u'\n');
    return shown;
}

// About what lays out within a few milliseconds, emoji included: a change reaching further
// is laid out this much at a time.
constexpr int layoutChunk = 6000;

} // namespace

PreviewText::PreviewText(QWidget* parent)
    : QWidget(parent) {
    static const bool accessibleInstalled = [] {
        QAccessible::installFactory(accessibleFor);
        return true;
    }();
    Q_UNUSED(accessibleInstalled);

    m_document.setUndoRedoEnabled(false);
    m_document.setDocumentMargin(0);
    m_document.setDefaultFont(font());
    QTextOption option = m_document.defaultTextOption();
    option.setAlignment(Qt::AlignLeading);
    // Words longer than the line wrap as in the editor, instead of widening the page.
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    m_document.setDefaultTextOption(option);
    connect(m_document.documentLayout(), &QAbstractTextDocumentLayout::update, this,
            [this](const QRectF& changed) { update(changed.toAlignedRect()); });
    m_document.documentLayout()->installEventFilter(this);
    // A frame apart: keys and paints go first.
    m_layoutSteps.setInterval(10);
    connect(&m_layoutSteps, &QTimer::timeout, this, &PreviewText::layOutInBackground);

    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
    setCursor(Qt::IBeamCursor);
    // As a label selectable with the mouse: a click takes the focus, Tab passes by.
    setFocusPolicy(Qt::ClickFocus);
}

void PreviewText::setText(const QString& text) {
    if (text == m_text) {
        return;
    }
    m_text = text;
    const QString shown = documentText(text);
    // Only the span between the longest common start and end is replaced, and neither end
    // splits a surrogate pair.
    const qsizetype oldSize = m_shown.size();
    const qsizetype newSize = shown.size();
    const qsizetype shorter = qMin(oldSize, newSize);
    qsizetype prefix = 0;
    while (prefix < shorter && m_shown[prefix] == shown[prefix]) {
        ++prefix;
    }
    if (prefix > 0 && shown[prefix - 1].isHighSurrogate()) {
        --prefix;
    }
    qsizetype suffix = 0;
    while (suffix < shorter - prefix &&
           m_shown[oldSize - 1 - suffix] == shown[newSize - 1 - suffix]) {
        ++suffix;
    }
    if (suffix > 0 && shown[newSize - suffix].isLowSurrogate()) {
        --suffix;
    }
    m_shown = shown;

    const qsizetype removed = oldSize - suffix - prefix;
    const QString inserted = shown.mid(prefix, newSize - suffix - prefix);
    // Laid out at once, a change over much of a long text would hold up the keys.
    const qreal width = m_document.textWidth();
    const bool inBackground = width > 0 && qMax(removed, inserted.size()) > layoutChunk;
    if (inBackground) {
        // Without a page size the document only drops the changed lines' layout.
        m_document.setPageSize(QSizeF(0, 0));
    }
    // One edit, so the layout sees one change of the document.
    QTextCursor cursor(&m_document);
    cursor.beginEditBlock();
    cursor.setPosition(int(prefix));
    cursor.setPosition(int(oldSize - suffix), QTextCursor::KeepAnchor);
    if (inserted.isEmpty()) {
        cursor.removeSelectedText();
    } else {
        cursor.insertText(inserted);
    }
    cursor.endEditBlock();
    if (inBackground) {
        m_document.setTextWidth(width);
        layOutAnew();
    } else if (m_isLayingOut) {
        laidOutUpTo(int(prefix));
    }
    refreshHeight();
    if (accessibleName().isEmpty()) {
        QAccessibleEvent changed(this, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&changed);
    }
}

void PreviewText::wrapAt(int width) const {
    // Setting even the same width lays every line out again.
    if (m_document.textWidth() != width) {
        m_document.setTextWidth(width);
        layOutAnew();
    }
}

void PreviewText::layOutAnew() const {
    m_laidOutTo = 0;
    m_laidOutHeight = 0;
    if (layOutFurther(layoutChunk)) {
        return;
    }
    // The document layout goes on by itself in steps that double in size; this widget's own
    // steps stay small instead.
    m_layoutTimer = 0;
    QAbstractTextDocumentLayout* layout = m_document.documentLayout();
    const auto timers = QAbstractEventDispatcher::instance()->registeredTimers(layout);
    for (const QAbstractEventDispatcher::TimerInfo& timer : timers) {
        // Its size report runs at once; the layout steps are the timer with an interval.
        if (timer.interval > 0) {
            m_layoutTimer = timer.timerId;
        }
    }
    m_isLayingOut = true;
    m_layoutSteps.start();
}

bool PreviewText::layOutFurther(int count) const {
    QAbstractTextDocumentLayout* layout = m_document.documentLayout();
    const int end = m_laidOutTo + count;
    QTextBlock block = m_document.findBlock(m_laidOutTo);
    while (block.isValid() && block.position() < end) {
        // Lays out every line up to the block's end, no further.
        m_laidOutHeight = layout->blockBoundingRect(block).bottom();
        m_laidOutTo = block.position() + block.length();
        block = block.next();
    }
    if (block.isValid()) {
        return false;
    }
    m_isLayingOut = false;
    m_layoutSteps.stop();
    return true;
}

void PreviewText::layOutInBackground() {
    layOutFurther(layoutChunk);
    refreshHeight();
}

void PreviewText::laidOutUpTo(int position) const {
    if (position >= m_laidOutTo) {
        return;
    }
    // The document laid the lines out up to the change; from its block on they may differ.
    const QTextBlock block = m_document.findBlock(position);
    m_laidOutTo = block.position();
    m_laidOutHeight = m_document.documentLayout()->blockBoundingRect(block).top();
}

void PreviewText::refreshHeight() {
    const int height = textHeight();
    if (height != m_height) {
        m_height = height;
        updateGeometry();
    }
}

bool PreviewText::eventFilter(QObject* watched, QEvent* event) {
    if (m_isLayingOut && watched == m_document.documentLayout() && event->type() == QEvent::Timer &&
        static_cast<QTimerEvent*>(event)->timerId() == m_layoutTimer) {
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

int PreviewText::textHeight() const {
    if (m_isLayingOut) {
        // The rest as tall for its length as what is laid out so far.
        const int rest = m_document.characterCount() - m_laidOutTo;
        return qCeil(m_laidOutHeight + rest * m_laidOutHeight / qMax(1, m_laidOutTo));
    }
    return qCeil(m_document.size().height());
}

int PreviewText::heightForWidth(int width) const {
    // Layouts also ask about widths the preview never gets: a scroll area, whether its content
    // would fit without a scroll bar. Each answer would lay every line out twice (there and
    // back), so until the preview has that width it answers with the height it has; given the
    // width, it wraps there and asks for another layout if the height differs.
    if (m_document.textWidth() < 0) {
        wrapAt(width);
    }
    return textHeight();
}

QSize PreviewText::sizeHint() const {
    // Once laid out, the width it has: a layout asks for the height at the hinted width.
    const int width = m_document.textWidth() > 0 ? int(m_document.textWidth())
                                                 : fontMetrics().averageCharWidth() * 80;
    return {width, heightForWidth(width)};
}

QSize PreviewText::minimumSizeHint() const {
    return {fontMetrics().averageCharWidth(), fontMetrics().lineSpacing()};
}

bool PreviewText::event(QEvent* event) {
    if (event->type() == QEvent::FontChange) {
        m_document.setDefaultFont(font());
        if (m_document.textWidth() > 0) {
            layOutAnew();
        }
        m_height = textHeight();
        updateGeometry();
    }
    return QWidget::event(event);
}

void PreviewText::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    wrapAt(width());
    m_height = textHeight();
    if (m_height != height()) {
        updateGeometry();
    }
}

void PreviewText::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.setClipRect(event->rect());
    QAbstractTextDocumentLayout::PaintContext context;
    context.palette = palette();
    context.palette.setColor(QPalette::Text, palette().color(foregroundRole()));
    // Only the lines in the exposed part are drawn.
    context.clip = event->rect();
    if (m_selection.hasSelection()) {
        QAbstractTextDocumentLayout::Selection selection;
        selection.cursor = m_selection;
        const QPalette::ColorGroup group = hasFocus() ? QPalette::Active : QPalette::Inactive;
        selection.format.setBackground(context.palette.brush(group, QPalette::Highlight));
        selection.format.setForeground(context.palette.brush(group, QPalette::HighlightedText));
        QStyleOption option;
        option.initFrom(this);
        if (style()->styleHint(QStyle::SH_RichText_FullWidthSelection, &option, this)) {
            selection.format.setProperty(QTextFormat::FullWidthSelection, true);
        }
        context.selections.append(selection);
    }
    m_document.documentLayout()->draw(&painter, context);
}

QTextCursor PreviewText::caretAt(const QPointF& point) const {
    QTextCursor caret(&m_document);
    caret.setPosition(qMax(0, m_document.documentLayout()->hitTest(point, Qt::FuzzyHit)));
    return caret;
}

void PreviewText::select(const QTextCursor& selection) {
    m_selection = selection;
    update();
}

void PreviewText::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    select(caretAt(event->position()));
}

void PreviewText::mouseMoveEvent(QMouseEvent* event) {
    if (!(event->buttons() & Qt::LeftButton) || m_selection.isNull()) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    QTextCursor selection = m_selection;
    selection.setPosition(caretAt(event->position()).position(), QTextCursor::KeepAnchor);
    select(selection);
}

void PreviewText::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && m_selection.hasSelection()) {
        copySelection(QClipboard::Selection);
    }
    QWidget::mouseReleaseEvent(event);
}

void PreviewText::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Copy) && m_selection.hasSelection()) {
        copySelection(QClipboard::Clipboard);
        return;
    }
    QWidget::keyPressEvent(event);
}

void PreviewText::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseDoubleClickEvent(event);
        return;
    }
    QTextCursor word = caretAt(event->position());
    word.select(QTextCursor::WordUnderCursor);
    select(word);
    copySelection(QClipboard::Selection);
}

void PreviewText::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    QAction* copy =
        menu.addAction(tr("&Copy"), this, [this] { copySelection(QClipboard::Clipboard); });
    copy->setShortcut(QKeySequence::Copy);
    copy->setEnabled(m_selection.hasSelection());
    menu.addSeparator();
    QAction* all = menu.addAction(tr("Select All"), this, [this] {
        QTextCursor everything(&m_document);
        everything.select(QTextCursor::Document);
        select(everything);
    });
    all->setShortcut(QKeySequence::SelectAll);
    all->setEnabled(!m_document.isEmpty());
    menu.exec(event->globalPos());
}

void PreviewText::copySelection(QClipboard::Mode mode) const {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!m_selection.hasSelection() ||
        (mode == QClipboard::Selection && !clipboard->supportsSelection())) {
        return;
    }
    // The characters as written: the document keeps line breaks as paragraph separators.
    QString selected = m_selection.selectedText();
    selected.replace(QChar::ParagraphSeparator, u'\n');
    clipboard->setText(selected, mode);
}

} // namespace quillon
