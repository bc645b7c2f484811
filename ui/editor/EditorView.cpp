#include "ui/editor/EditorView.h"

#include "core/flows/PostFlow.h"
#include "core/model/UnicodeText.h"
#include "core/storage/DraftStore.h"
#include "core/storage/LinkedInSessionStore.h"
#include "ui/editor/PreviewText.h"
#include "ui/editor/RichTextEditor.h"
#include "ui/kit/EnterKeyActivation.h"
#include "ui/kit/LinkedInProfilePhoto.h"
#include "ui/kit/PrimaryButton.h"
#include "ui/kit/ScrollPane.h"
#include "ui/kit/SecondaryButton.h"
#include "ui/kit/StatusLine.h"
#include "ui/kit/Surface.h"
#include "ui/kit/TextLabel.h"
#include "ui/theme/Metrics.h"
#include "ui/theme/Symbols.h"
#include "ui/theme/Theme.h"
#include "ui/theme/Typography.h"

#include <QAction>
#include <QDesktopServices>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace quillon {
namespace {

constexpr int formatStripHeight = 44;
constexpr int editorPadding = 12;
constexpr int editorMinimumHeight = 260;

// The toolbar's text buttons draw their titles in `color`.
QToolButton* textButton(const QString& title, const QFont& font, const QColor& color) {
    auto* button = new QToolButton;
    button->setText(title);
    button->setFont(font);
    QPalette p = button->palette();
    p.setColor(QPalette::ButtonText, color);
    button->setPalette(p);
    return button;
}

QToolButton* symbolButton(Symbol symbol, int symbolSize, int frame, const QColor& color) {
    auto* button = new QToolButton;
    button->setAutoRaise(true);
    button->setFixedSize(frame, frame);
    button->setIcon(tintedSymbolIcon(symbol, color));
    button->setIconSize(QSize(symbolSize, symbolSize));
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

// What a toolbar button is called, what it says when hovered (with its shortcut, if any) and
// what a screen reader announces.
void describe(QToolButton* button, const QString& name, const QKeySequence& shortcut = {}) {
    button->setAccessibleName(name);
    button->setToolTip(shortcut.isEmpty()
                           ? name
                           : u"%1 (%2)"_s.arg(name, shortcut.toString(QKeySequence::NativeText)));
}

struct ToolbarText {
    EditorFormatCommand command;
    QString title;
    QString name;
    QString description;
};

struct ToolbarSymbol {
    EditorFormatCommand command;
    Symbol symbol;
    QString name;
    QString description;
};

QKeySequence shortcutFor(EditorFormatCommand command) {
    switch (command) {
    case EditorFormatCommand::bold:
        return QKeySequence(Qt::CTRL | Qt::Key_B);
    case EditorFormatCommand::italic:
        return QKeySequence(Qt::CTRL | Qt::Key_I);
    case EditorFormatCommand::underline:
        return QKeySequence(Qt::CTRL | Qt::Key_U);
    default:
        return {};
    }
}

} // namespace

EditorView::EditorView(DraftStore& draftStore, LinkedInSessionStore& sessionStore,
                       PostFlow& postFlow, std::function<void()> onShowDrafts,
                       TelemetrySink telemetry, QWidget* parent)
    : QWidget(parent)
    , m_draftStore(draftStore)
    , m_sessionStore(sessionStore)
    , m_onShowDrafts(std::move(onShowDrafts))
    , m_postFlow(postFlow)
    , m_telemetry(std::move(telemetry)) {
    auto* pane = new ScrollPane(16);
    pane->setObjectName(u"editorPage"_s);
    QVBoxLayout* column = pane->column();
    column->addWidget(
        textLabel(u"Saved locally"_s, quillon::font(TextStyle::caption), Theme::secondaryInk()));
    column->addWidget(header());
    column->addWidget(editorCard());
    column->addWidget(preview());

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(pane, 1);
    // Outside the scroll view, so it stays in sight while the content scrolls.
    layout->addWidget(bottomBar(*pane));

    m_pane = pane;
    m_pane->viewport()->installEventFilter(this);
    limitEditorGrowth();
    addShortcuts();
    orderTabStops();

    connect(&m_draftStore, &DraftStore::editorTextChanged, this, &EditorView::refreshText);
    connect(&m_sessionStore, &LinkedInSessionStore::tokenChanged, this,
            &EditorView::refreshProfile);
    // Once the editor has scrolled its own view to the caret, and again when the editor's
    // growth reaches the page's scroll range.
    m_caretFollow.setSingleShot(true);
    m_caretFollow.setInterval(0);
    connect(&m_caretFollow, &QTimer::timeout, this, &EditorView::keepCaretInSight);
    connect(m_editor, &QPlainTextEdit::cursorPositionChanged, &m_caretFollow,
            qOverload<>(&QTimer::start));
    connect(m_pane->verticalScrollBar(), &QScrollBar::rangeChanged, this,
            &EditorView::keepCaretInSight);
    connect(&m_draftStore, &DraftStore::statusMessageChanged, this, &EditorView::refreshStatus);
    connect(&m_postFlow, &PostFlow::postingChanged, this, &EditorView::setPosting);
    refreshText();
    refreshProfile();
    refreshStatus();
    // A post started from an earlier pane is still running.
    if (m_postFlow.isPosting()) {
        setPosting(true);
    }
}

EditorView::~EditorView() = default;

QWidget* EditorView::header() {
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);
    auto* back = symbolButton(Symbol::chevronLeft, 17, 28, Theme::ink());
    back->setObjectName(u"backToDraftsButton"_s);
    describe(back, u"Back to drafts"_s);
    EnterKeyActivation::install(back);
    m_backButton = back;
    connect(back, &QToolButton::clicked, this, [this] {
        if (m_onShowDrafts) {
            m_onShowDrafts();
        }
    });
    layout->addWidget(back);
    layout->addWidget(textLabel(u"Write your post"_s,
                                quillon::font(TextStyle::title2, QFont::DemiBold), Theme::ink()));
    layout->addStretch(1);
    return row;
}

QWidget* EditorView::editorCard() {
    auto* card = new Surface(Theme::card());
    card->setObjectName(u"editorCard"_s);
    card->setCornerRadius(Metrics::cornerRadius);
    auto* column = new QVBoxLayout(card);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto* strip = new Surface(Qt::white);
    strip->setObjectName(u"formatStrip"_s);
    strip->setCornerRadius(Metrics::cornerRadius, Surface::Corners::top);
    strip->setEdgeLine(Surface::Edge::bottom, Theme::hairline());
    strip->setFixedHeight(formatStripHeight);
    auto* stripLayout = new QHBoxLayout(strip);
    stripLayout->setContentsMargins(0, 0, 0, 1);
    auto* scroller = new QScrollArea;
    scroller->setFrameShape(QFrame::NoFrame);
    // Not a stop of its own; a click on it must not take the focus from the editor either.
    scroller->setFocusPolicy(Qt::NoFocus);
    scroller->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroller->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroller->setWidgetResizable(true);
    scroller->setWidget(formatToolbar());
    // The strip's white shows through; setWidget() had made the row paint its own.
    scroller->viewport()->setAutoFillBackground(false);
    scroller->widget()->setAutoFillBackground(false);
    stripLayout->addWidget(scroller);
    column->addWidget(strip);

    auto* area = new QWidget;
    auto* overlay = new QGridLayout(area);
    overlay->setContentsMargins(0, 0, 0, 0);
    m_editor = new RichTextEditor;
    m_editor->setObjectName(u"postEditor"_s);
    m_editor->setAccessibleName(u"Post text"_s);
    m_editor->growWithText(editorMinimumHeight);
    m_editor->bindText(m_draftStore);
    m_editor->setOnFirstEdit([this] { trackFirstEdit(); });
    auto* editorHolder = new QWidget;
    auto* holderLayout = new QVBoxLayout(editorHolder);
    // The trailing room keeps the text clear of the clear button.
    holderLayout->setContentsMargins(editorPadding, editorPadding, editorPadding + 36,
                                     editorPadding);
    holderLayout->addWidget(m_editor);
    overlay->addWidget(editorHolder, 0, 0);

    m_clearButton = symbolButton(Symbol::xmark, 14, 32, Theme::ink());
    m_clearButton->setObjectName(u"clearPostButton"_s);
    describe(m_clearButton, u"Clear post text"_s);
    EnterKeyActivation::install(m_clearButton);
    QSizePolicy keepsPlace = m_clearButton->sizePolicy();
    keepsPlace.setRetainSizeWhenHidden(true);
    m_clearButton->setSizePolicy(keepsPlace);
    connect(m_clearButton, &QToolButton::clicked, this, &EditorView::clearPost);
    auto* clearHolder = new QWidget;
    auto* clearLayout = new QVBoxLayout(clearHolder);
    clearLayout->setContentsMargins(0, 8, 8, 0);
    clearLayout->addWidget(m_clearButton);
    overlay->addWidget(clearHolder, 0, 0, Qt::AlignTop | Qt::AlignRight);
    column->addWidget(area);
    return card;
}

QWidget* EditorView::formatToolbar() {
    auto* row = new QWidget;
    row->setAutoFillBackground(false);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(8, 0, 8, 0);
    layout->setSpacing(0);
    const QColor ink = Theme::withOpacity(Theme::ink(), 0.72);

    const ToolbarText texts[] = {
        {EditorFormatCommand::bold, u"B"_s, u"formatBold"_s, u"Bold"_s},
        {EditorFormatCommand::italic, u"I"_s, u"formatItalic"_s, u"Italic"_s},
        {EditorFormatCommand::strikethrough, u"S"_s, u"formatStrikethrough"_s, u"Strikethrough"_s},
        {EditorFormatCommand::underline, u"U"_s, u"formatUnderline"_s, u"Underline"_s},
        {EditorFormatCommand::code, u"<>"_s, u"formatCode"_s, u"Code"_s},
        {EditorFormatCommand::clear, u"T/"_s, u"formatClear"_s, u"Clear formatting"_s},
    };
    for (const ToolbarText& text : texts) {
        QFont buttonFont = quillon::fontOfSize(18, QFont::Medium);
        switch (text.command) {
        case EditorFormatCommand::bold:
            buttonFont.setWeight(QFont::Bold);
            break;
        case EditorFormatCommand::italic:
            buttonFont.setItalic(true);
            break;
        case EditorFormatCommand::strikethrough:
            buttonFont.setStrikeOut(true);
            break;
        case EditorFormatCommand::underline:
            buttonFont.setUnderline(true);
            break;
        default:
            break;
        }
        auto* button = textButton(text.title, buttonFont, ink);
        button->setAutoRaise(true);
        button->setObjectName(text.name);
        button->setFixedSize(44, 44);
        button->setCursor(Qt::PointingHandCursor);
        describe(button, text.description, shortcutFor(text.command));
        addToolbarButton(button, text.command);
        layout->addWidget(button);
    }

    auto* divider = new QWidget;
    auto* dividerLayout = new QHBoxLayout(divider);
    dividerLayout->setContentsMargins(10, 0, 10, 0);
    auto* line = new Surface(Theme::hairline());
    line->setFixedSize(1, 24);
    dividerLayout->addWidget(line);
    layout->addWidget(divider);

    const ToolbarSymbol symbols[] = {
        {EditorFormatCommand::bullets, Symbol::listBullet, u"formatBullets"_s, u"Bulleted list"_s},
        {EditorFormatCommand::numbered, Symbol::listNumber, u"formatNumbered"_s,
         u"Numbered list"_s},
    };
    for (const ToolbarSymbol& symbol : symbols) {
        auto* button = symbolButton(symbol.symbol, 18, 44, ink);
        button->setObjectName(symbol.name);
        describe(button, symbol.description);
        addToolbarButton(button, symbol.command);
        layout->addWidget(button);
    }
    layout->addStretch(1);
    return row;
}

void EditorView::addToolbarButton(QToolButton* button, EditorFormatCommand command) {
    // Reached with Tab, but a click leaves the focus, and so the selection, in the editor.
    button->setFocusPolicy(Qt::TabFocus);
    EnterKeyActivation::install(button);
    connect(button, &QToolButton::clicked, this,
            [this, command] { m_editor->setCommand(command); });
    m_toolbarButtons.append(button);
}

void EditorView::addShortcuts() {
    const auto add = [this](const QKeySequence& keys, std::function<void()> action) {
        auto* shortcut = new QAction(this);
        shortcut->setShortcut(keys);
        shortcut->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        connect(shortcut, &QAction::triggered, this, std::move(action));
        addAction(shortcut);
    };
    for (const EditorFormatCommand command :
         {EditorFormatCommand::bold, EditorFormatCommand::italic, EditorFormatCommand::underline}) {
        add(shortcutFor(command), [this, command] { m_editor->setCommand(command); });
    }
    add(QKeySequence(Qt::CTRL | Qt::Key_S), [this] { saveDraft(); });
    m_editor->leaveShortcutsToScreen(
        {shortcutFor(EditorFormatCommand::bold), shortcutFor(EditorFormatCommand::italic),
         shortcutFor(EditorFormatCommand::underline), QKeySequence(Qt::CTRL | Qt::Key_S)});
}

void EditorView::orderTabStops() {
    // The order the eye reads the pane in, whatever order the widgets were made in.
    QList<QWidget*> stops{m_backButton};
    for (QToolButton* button : std::as_const(m_toolbarButtons)) {
        stops.append(button);
    }
    stops << m_editor << m_clearButton << m_saveButton << m_postButton;
    for (qsizetype i = 1; i < stops.size(); ++i) {
        QWidget::setTabOrder(stops[i - 1], stops[i]);
    }
}

void EditorView::focusEditor() {
    m_editor->setFocus(Qt::OtherFocusReason);
}

bool EditorView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_pane->viewport() && event->type() == QEvent::Resize) {
        limitEditorGrowth();
    }
    return QWidget::eventFilter(watched, event);
}

void EditorView::limitEditorGrowth() {
    // The editor grows with its text until the toolbar and the editor fill the page's view,
    // then scrolls inside itself: the formatting buttons stay in sight with the lines being
    // written, and a long post never has to be laid out whole to know the editor's height.
    const int around = 2 * Metrics::defaultPadding + formatStripHeight + 2 * editorPadding;
    m_editor->setGrowthLimit(m_pane->viewport()->height() - around);
}

void EditorView::keepCaretInSight() {
    // The editor scrolls to its caret; the page follows when the editor is partly out of view.
    if (!m_editor->hasFocus()) {
        return;
    }
    const QRect caret = m_editor->cursorRect();
    // A caret scrolled out of the editor's view is not being looked at.
    if (!m_editor->viewport()->rect().intersects(caret)) {
        return;
    }
    const QPoint centre = m_editor->viewport()->mapTo(m_pane->widget(), caret.center());
    m_pane->ensureVisible(centre.x(), centre.y(), 0, caret.height());
}

QWidget* EditorView::preview() {
    auto* card = new Surface(Qt::white);
    card->setObjectName(u"preview"_s);
    card->setCornerRadius(Metrics::cornerRadius);
    card->setStroke(Theme::hairline());
    m_previewColumn = new QVBoxLayout(card);
    m_previewColumn->setContentsMargins(Metrics::defaultPadding, Metrics::defaultPadding,
                                        Metrics::defaultPadding, Metrics::defaultPadding);
    m_previewColumn->setSpacing(12);
    m_previewText = new PreviewText;
    m_previewText->setObjectName(u"previewText"_s);
    setTextStyle(m_previewText, quillon::font(TextStyle::body), Theme::ink());
    m_previewColumn->addWidget(m_previewText);
    return card;
}

QWidget* EditorView::bottomBar(const ScrollPane& pane) {
    auto* bar = new Surface(Theme::background());
    bar->setObjectName(u"bottomBar"_s);
    bar->setEdgeLine(Surface::Edge::top, Theme::hairline());
    auto* column = new QVBoxLayout(bar);
    // The buttons end where the cards above them end.
    column->setContentsMargins(pane.barMargins(12, 8));
    column->setSpacing(10);
    // Above the buttons, in sight however far the page is scrolled: what the last save or post
    // came to.
    m_status = new StatusLine;
    m_status->setObjectName(u"statusLine"_s);
    m_status->setAlignment(Qt::AlignCenter);
    column->addWidget(m_status);
    m_saveButton = new SecondaryButton(u"Save draft"_s);
    m_saveButton->setObjectName(u"saveDraftButton"_s);
    connect(m_saveButton, &QPushButton::clicked, this, &EditorView::saveDraft);
    m_postButton = new PrimaryButton(u"Post to LinkedIn"_s);
    m_postButton->setObjectName(u"postButton"_s);
    connect(m_postButton, &QPushButton::clicked, this, &EditorView::post);
    column->addWidget(m_saveButton);
    column->addWidget(m_postButton);
    return bar;
}

void EditorView::refreshText() {
    const bool hasText = hasPostText();
    m_clearButton->setEnabled(hasText);
    m_clearButton->setVisible(hasText);
    m_previewText->setText(previewText());
}

void EditorView::refreshStatus() {
    m_status->setMessage(m_draftStore.statusMessage().value_or(QString()));
}

void EditorView::refreshProfile() {
    if (m_profileLine) {
        m_profileLine->hide();
        m_profileLine->deleteLater();
    }
    const std::optional<LinkedInToken>& token = m_sessionStore.token();
    if (!token) {
        m_profileLine = textLabel(u"Connect LinkedIn to preview your profile."_s,
                                  quillon::font(TextStyle::subheadline), Theme::secondaryInk());
    } else {
        auto* row = new QWidget;
        auto* layout = new QHBoxLayout(row);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(10);
        auto* photo = new LinkedInProfilePhoto(48);
        photo->setObjectName(u"previewPhoto"_s);
        photo->setPictureURL(token->profile.pictureURL);
        layout->addWidget(photo);
        auto* names = new QVBoxLayout;
        names->setSpacing(2);
        auto* name =
            textLabel(token->profile.name, quillon::font(TextStyle::headline), Theme::ink());
        name->setObjectName(u"previewName"_s);
        auto* headline = textLabel(token->profile.displayHeadline().value_or(u"Now"_s),
                                   quillon::font(TextStyle::subheadline), Theme::secondaryInk());
        headline->setObjectName(u"previewHeadline"_s);
        names->addWidget(name);
        names->addWidget(headline);
        // A compact pair beside the photo, not spread over its height.
        layout->addLayout(names, 1);
        layout->setAlignment(names, Qt::AlignVCenter);
        m_profileLine = row;
    }
    m_profileLine->setObjectName(u"previewProfile"_s);
    m_previewColumn->insertWidget(0, m_profileLine);
    // At once, not on the layout's next turn: the old line is already hidden.
    m_profileLine->show();
}

std::optional<EditorFormatCommand> EditorView::formatCommand() const {
    return m_editor->command();
}

bool EditorView::hasPostText() const {
    return !unicode::trimmedWhitespaceAndNewlines(m_draftStore.editorText()).isEmpty();
}

QString EditorView::previewText() const {
    return hasPostText() ? m_draftStore.editorText() : u"Preview appears here."_s;
}

void EditorView::trackFirstEdit() {
    report(m_telemetry, AppTelemetryEvent::editorStarted);
}

void EditorView::clearPost() {
    // Undoable like any edit: the cleared text can come back with Ctrl+Z.
    m_editor->changeUndoably([this] { m_draftStore.newPost(); });
    focusEditor();
}

void EditorView::saveDraft() {
    m_draftStore.saveDraft();
    focusEditor();
}

bool EditorView::isPosting() const {
    return m_postFlow.isPosting();
}

void EditorView::setPosting(bool posting) {
    m_postButton->setText(posting ? u"Posting..."_s : u"Post to LinkedIn"_s);
    // The focus comes back when the post ends, not left on the next control Qt moved it to.
    m_postFocus.setEnabled(m_postButton, !posting);
    Q_EMIT isPostingChanged(posting);
}

void EditorView::post() {
    // Not awaited: the post runs on, on this thread, after the click has returned and after
    // the pane; the window hears how it ended from the flow.
    m_postFlow.post(m_telemetry);
}

void EditorView::openRecentActivity() {
    const QUrl url = recentActivityURL();
    if (url.isValid()) {
        QDesktopServices::openUrl(url);
    }
}

QUrl EditorView::recentActivityURL() {
    return QUrl(u"https://www.linkedin.com/in/me/recent-activity/all/"_s);
}

} // namespace quillon
