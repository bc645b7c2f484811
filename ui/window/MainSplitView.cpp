#include "ui/window/MainSplitView.h"

#include "core/flows/PostFlow.h"
#include "core/storage/DraftStore.h"
#include "core/storage/LinkedInSessionStore.h"
#include "ui/account/AccountSettingsView.h"
#include "ui/account/NavigationStack.h"
#include "ui/drafts/DraftsView.h"
#include "ui/editor/EditorView.h"
#include "ui/editor/RichTextEditor.h"
#include "ui/feedback/FeedbackSheet.h"
#include "ui/insights/Insight.h"
#include "ui/insights/InsightsView.h"
#include "ui/kit/TabStops.h"
#include "ui/theme/Symbols.h"
#include "ui/theme/Theme.h"
#include "ui/theme/Typography.h"
#include "ui/window/CurrentItemAnnouncer.h"
#include "ui/window/FeedbackButton.h"
#include "ui/window/PostToast.h"
#include "ui/window/SidebarItemDelegate.h"

#include <QApplication>
#include <QDialog>
#include <QHBoxLayout>
#include <QListWidget>
#include <QResizeEvent>
#include <QShowEvent>
#include <QSplitter>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace quillon {
namespace {

struct SidebarRow {
    MainSplitView::Section section;
    QString title;
    Symbol symbol;
};

const SidebarRow sidebarRows[] = {
    {MainSplitView::Section::insights, u"Insights"_s, Symbol::chartLineUptrend},
    {MainSplitView::Section::drafts, u"Drafts"_s, Symbol::docText},
    {MainSplitView::Section::editor, u"Editor"_s, Symbol::squareAndPencil},
    {MainSplitView::Section::settings, u"Settings"_s, Symbol::gearshape},
};

constexpr int sidebarWidth = 200;
constexpr int sidebarIconSize = 18;

int rowOf(MainSplitView::Section section) {
    return int(section);
}

} // namespace

MainSplitView::MainSplitView(DraftStore& draftStore, LinkedInSessionStore& sessionStore,
                             PostFlow& postFlow, ConnectFlow& connectFlow, AccountFlow& accountFlow,
                             FeedbackFlow& feedbackFlow, TelemetrySink telemetry, QWidget* parent)
    : QWidget(parent)
    , m_draftStore(draftStore)
    , m_sessionStore(sessionStore)
    , m_postFlow(postFlow)
    , m_connectFlow(connectFlow)
    , m_accountFlow(accountFlow)
    , m_feedbackFlow(feedbackFlow)
    , m_telemetry(std::move(telemetry))
    , m_splitter(new QSplitter(Qt::Horizontal, this))
    , m_sidebar(new QListWidget(m_splitter))
    , m_detail(new QWidget(m_splitter))
    , m_feedbackButton(new FeedbackButton(this)) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_splitter);

    m_sidebar->setObjectName(u"sidebar"_s);
    m_sidebar->setAccessibleName(u"Sections"_s);
    m_sidebar->setFrameShape(QFrame::NoFrame);
    m_sidebar->setSelectionMode(QAbstractItemView::SingleSelection);
    m_sidebar->setIconSize(QSize(sidebarIconSize, sidebarIconSize));
    m_sidebar->setFont(quillon::font(TextStyle::body));
    m_sidebar->setSpacing(2);
    m_sidebar->setMinimumWidth(160);
    m_sidebar->setItemDelegate(new SidebarItemDelegate(m_sidebar));
    CurrentItemAnnouncer::install(m_sidebar);
    m_sidebar->setProperty("focusRingItemInset", SidebarItemDelegate::inset);
    for (const SidebarRow& row : sidebarRows) {
        auto* item =
            new QListWidgetItem(tintedSymbolIcon(row.symbol, Theme::ink()), row.title, m_sidebar);
        item->setData(Qt::UserRole, int(row.section));
        item->setSizeHint(QSize(0, 30));
    }
    m_splitter->setChildrenCollapsible(false);
    m_splitter->setStretchFactor(0, 0);
    m_splitter->setStretchFactor(1, 1);
    m_splitter->setSizes({sidebarWidth, 700});

    auto* detailLayout = new QVBoxLayout(m_detail);
    detailLayout->setContentsMargins(0, 0, 0, 0);
    m_pane = createPane(m_selection);
    detailLayout->addWidget(m_pane);
    syncSidebar();
    connect(m_sidebar->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &MainSplitView::sidebarSelectionChanged);
    putFeedbackButtonLastInTabOrder();

    connect(m_feedbackButton, &QAbstractButton::clicked, this, &MainSplitView::openFeedback);
    connect(m_feedbackButton, &FeedbackButton::dragChanged, this,
            [this](QPointF translation) { dragFeedbackButton(translation, contentSize()); });
    connect(m_feedbackButton, &FeedbackButton::dragEnded, this,
            &MainSplitView::endFeedbackButtonDrag);
    m_feedbackButton->raise();

    connect(&m_sessionStore, &LinkedInSessionStore::tokenChanged, this, [this] {
        const std::optional<QString> memberID = m_sessionStore.memberID();
        // Only changes after the window was shown count; the first value is the show's.
        if (m_shown && memberID != m_lastMemberID) {
            m_lastMemberID = memberID;
            memberIDChanged(memberID);
        }
    });
    // The post outlives the editor pane; the window hears how it ended while it exists.
    connect(&m_postFlow, &PostFlow::posted, this,
            [this](const std::optional<QString>& keyringProblem) {
                postSucceeded(keyringProblem);
                EditorView::openRecentActivity();
            });
}

MainSplitView::~MainSplitView() = default;

QWidget* MainSplitView::createPane(Section section) {
    switch (section) {
    case Section::insights:
        return new InsightsView(insightsCatalog(), m_telemetry);
    case Section::drafts: {
        auto* pane = new DraftsView(m_draftStore, [this] { openDraftInEditor(); });
        connect(pane, &DraftsView::listRebuilt, this,
                [this] { putFeedbackButtonLastInTabOrder(); });
        return pane;
    }
    case Section::settings: {
        auto* pane = new AccountSettingsView(m_sessionStore, m_connectFlow, m_accountFlow,
                                             &m_feedbackFlow, m_telemetry);
        pane->setFeedbackSheetSource([this] { return sharedFeedbackSheet(); });
        // A page pushed in the pane joins the end of the tab chain, after the floating button.
        if (auto* stack = pane->findChild<NavigationStack*>()) {
            connect(stack, &NavigationStack::depthChanged, this,
                    [this] { putFeedbackButtonLastInTabOrder(); });
        }
        return pane;
    }
    case Section::editor:
        break;
    }
    return new EditorView(
        m_draftStore, m_sessionStore, m_postFlow, [this] { setSelection(Section::drafts); },
        m_telemetry);
}

void MainSplitView::setSelection(Section section, const FocusTarget& focusTarget,
                                 FocusLanding landing) {
    if (section != m_selection) {
        m_selection = section;
        // Like a pane shown afresh: a new view with fresh view state. Work the old one
        // started (a post) does not depend on it.
        QWidget* old = m_pane;
        QWidget* focus = window()->focusWidget();
        const bool focusInOld = focus && old->isAncestorOf(focus);
        m_pane = createPane(section);
        // The layout hands the old pane's item back to be deleted.
        delete m_detail->layout()->replaceWidget(old, m_pane);
        // At once, not on the layout's next turn: focus and Tab reach it straight away.
        m_pane->show();
        // The focus moves once, before the old pane hides: hidden first, it would pass the
        // focus on to the next stop in the chain, the floating feedback button. Without a
        // target the sidebar, which chose the section, takes it.
        if (focusInOld || landing == FocusLanding::always) {
            QWidget* target = focusTarget ? focusTarget(m_pane) : nullptr;
            if (target) {
                target->setFocus(Qt::OtherFocusReason);
            } else if (focusInOld) {
                m_sidebar->setFocus(Qt::OtherFocusReason);
            }
        }
        old->hide();
        old->deleteLater();
        m_feedbackButton->raise();
        if (m_toast) {
            m_toast->raise();
        }
        putFeedbackButtonLastInTabOrder();
        Q_EMIT selectionChanged(section);
    }
    syncSidebar();
}

void MainSplitView::syncSidebar() {
    m_syncingSidebar = true;
    m_sidebar->setCurrentRow(rowOf(m_selection), QItemSelectionModel::ClearAndSelect);
    m_syncingSidebar = false;
}

void MainSplitView::sidebarSelectionChanged(const QItemSelection& selected) {
    if (m_syncingSidebar) {
        return;
    }
    // The row just chosen, not the first one selected: an accessibility client selects by
    // adding a row, and the old row may still be selected beside it for a moment.
    const QModelIndexList chosen = selected.indexes();
    if (!chosen.isEmpty()) {
        selectSection(Section(chosen.first().data(Qt::UserRole).toInt()));
        return;
    }
    if (!m_sidebar->selectionModel()->hasSelection()) {
        selectSection(std::nullopt);
    }
}

void MainSplitView::putFeedbackButtonLastInTabOrder() {
    // A new pane's controls join the end of the tab chain, after the floating button; the
    // button belongs after them, and after a control-less part that may hold the focus (the
    // empty drafts list).
    QWidget* last = nullptr;
    QWidget* widget = m_pane;
    QWidget* focus = window()->focusWidget();
    do {
        if (m_pane->isAncestorOf(widget) &&
            (widget->focusPolicy() & Qt::TabFocus || widget == focus)) {
            last = widget;
        }
        widget = widget->nextInFocusChain();
    } while (widget && widget != m_pane);
    if (last) {
        QWidget::setTabOrder(last, m_feedbackButton);
    }
}

void MainSplitView::selectSection(std::optional<Section> section) {
    if (!section) {
        // The list asked to deselect: the section stays, and so does its highlight.
        syncSidebar();
        return;
    }
    if (*section == Section::editor && !m_opensDraftInEditor) {
        m_draftStore.resetEditorUnlessUnsaved();
    }
    m_opensDraftInEditor = false;
    setSelection(*section);
}

void MainSplitView::openDraftInEditor() {
    m_opensDraftInEditor = true;
    // The draft was opened to be worked on: the caret goes straight into it.
    setSelection(
        Section::editor,
        [](QWidget* pane) -> QWidget* {
            auto* editor = qobject_cast<EditorView*>(pane);
            return editor ? editor->editor() : nullptr;
        },
        FocusLanding::always);
}

void MainSplitView::postSucceeded(const std::optional<QString>& keyringProblem) {
    // A keyboard user who posted goes on reading the stories, not at the floating button.
    setSelection(Section::insights, firstTabStopIn);
    if (!m_showsPostToast) {
        m_showsPostToast = true;
        Q_EMIT showsPostToastChanged(true);
    }
    if (!m_toast) {
        // Made on first use: measuring its text would load a font the first window never shows.
        m_toast = new PostToast(this);
    }
    // The window leaves the editor, whose status line would say it out of sight: the toast
    // says it here, up for long enough to be read.
    m_toast->setDetail(keyringProblem.value_or(QString()));
    m_toast->raise();
    m_toast->present();
    // Every success hides the toast after its own delay; none cancels an earlier one.
    QTimer::singleShot(keyringProblem ? m_postToastDuration * detailedToastFactor
                                      : m_postToastDuration,
                       this, &MainSplitView::hidePostToast);
}

void MainSplitView::hidePostToast() {
    if (m_toast) {
        m_toast->dismiss();
    }
    if (m_showsPostToast) {
        m_showsPostToast = false;
        Q_EMIT showsPostToastChanged(false);
    }
}

void MainSplitView::setPostToastDuration(std::chrono::milliseconds duration) {
    m_postToastDuration = duration;
}

void MainSplitView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!event->spontaneous()) {
        m_shown = true;
        m_lastMemberID = m_sessionStore.memberID();
        syncDraftOwner();
    }
    placeFeedbackButton();
}

void MainSplitView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // A button dragged near an edge would otherwise be left outside a smaller window.
    if (m_feedbackButtonPosition) {
        m_feedbackButtonPosition =
            clampFeedbackButtonCenter(*m_feedbackButtonPosition, contentSize());
    }
    placeFeedbackButton();
    if (m_toast) {
        m_toast->place();
    }
}

void MainSplitView::syncDraftOwner() {
    m_draftStore.setOwner(m_sessionStore.memberID());
    // The owner known, the text left unsaved at the last quit comes back to the editor.
    m_draftStore.restoreUnsavedText();
}

void MainSplitView::memberIDChanged(const std::optional<QString>& memberID) {
    // Compared with the store's owner, not with the previous ID: setOwner does exactly that.
    m_draftStore.setOwner(memberID);
}

void MainSplitView::openFeedback() {
    setShowsFeedback(true);
    sharedFeedbackSheet()->present(
        this, [this] { setShowsFeedback(false); }, m_telemetry);
}

FeedbackSheet* MainSplitView::sharedFeedbackSheet() {
    // One for the window and the Settings pane, kept for the window's life: what was typed
    // and picked stays until it is sent.
    if (!m_feedbackSheet) {
        m_feedbackSheet = new FeedbackSheet(m_sessionStore, m_feedbackFlow, m_telemetry, this);
    }
    return m_feedbackSheet;
}

void MainSplitView::setShowsFeedback(bool shown) {
    if (m_showsFeedback == shown) {
        return;
    }
    m_showsFeedback = shown;
    Q_EMIT showsFeedbackChanged(shown);
}

QSizeF MainSplitView::contentSize() const {
    return QSizeF(size());
}

QPointF MainSplitView::defaultFeedbackButtonCenter(const QSizeF& contentSize) {
    return {44, std::max(0.82 * contentSize.height(), 92.0)};
}

QPointF MainSplitView::clampFeedbackButtonCenter(const QPointF& center, const QSizeF& contentSize) {
    // Not qBound: in an area smaller than two insets the upper limit wins, below 34.
    const auto clamp = [](qreal value, qreal extent) {
        return std::min(std::max(value, feedbackButtonEdgeInset), extent - feedbackButtonEdgeInset);
    };
    return {clamp(center.x(), contentSize.width()), clamp(center.y(), contentSize.height())};
}

void MainSplitView::dragFeedbackButton(const QPointF& translation, const QSizeF& contentSize) {
    const QPointF start = m_feedbackButtonDragStart.value_or(
        m_feedbackButtonPosition.value_or(defaultFeedbackButtonCenter(contentSize)));
    m_feedbackButtonDragStart = start;
    m_feedbackButtonPosition = clampFeedbackButtonCenter(start + translation, contentSize);
    placeFeedbackButton();
}

void MainSplitView::endFeedbackButtonDrag() {
    m_feedbackButtonDragStart.reset();
}

void MainSplitView::placeFeedbackButton() {
    m_feedbackButton->setCenter(
        m_feedbackButtonPosition.value_or(defaultFeedbackButtonCenter(contentSize())));
}

} // namespace quillon
