#include "ui/drafts/DraftsView.h"

#include "core/storage/DraftStore.h"
#include "ui/drafts/DateTimeText.h"
#include "ui/kit/ContentButton.h"
#include "ui/kit/ElidedLabel.h"
#include "ui/kit/EmptyStateView.h"
#include "ui/kit/GlyphButton.h"
#include "ui/kit/ScrollPane.h"
#include "ui/kit/Surface.h"
#include "ui/kit/TextLabel.h"
#include "ui/theme/Metrics.h"
#include "ui/theme/Theme.h"
#include "ui/theme/Typography.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace quillon {
namespace {

QWidget* divider() {
    auto* holder = new QWidget;
    holder->setObjectName(u"draftDivider"_s);
    auto* layout = new QHBoxLayout(holder);
    layout->setContentsMargins(Metrics::defaultPadding, 0, Metrics::defaultPadding, 0);
    auto* line = new Surface(Theme::hairline());
    line->setFixedHeight(1);
    layout->addWidget(line);
    return holder;
}

} // namespace

DraftsView::DraftsView(DraftStore& draftStore, std::function<void()> onOpenDraft, QWidget* parent)
    : QWidget(parent)
    , m_draftStore(draftStore)
    , m_onOpenDraft(std::move(onOpenDraft))
    , m_pane(new ScrollPane(16, this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_pane);

    m_pane->column()->addWidget(textLabel(u"Saved locally. Max 15 drafts."_s,
                                          quillon::font(TextStyle::caption),
                                          Theme::secondaryInk()));
    m_pane->column()->addWidget(
        textLabel(u"Drafts"_s, quillon::font(TextStyle::title2, QFont::DemiBold), Theme::ink()));
    rebuild();
    connect(&m_draftStore, &DraftStore::draftsChanged, this, &DraftsView::rebuild);
}

void DraftsView::rebuild() {
    // Which row held the focus, so that it lands on the row now in its place (the next draft
    // after a deletion, the previous one at the end) instead of leaving with the old list.
    QWidget* focus = window()->focusWidget();
    int focusedRow = -1;
    if (m_list && focus && m_list->isAncestorOf(focus)) {
        focusedRow = 0;
        for (qsizetype i = 0; i < m_openButtons.size(); ++i) {
            if (m_openButtons[i]->parentWidget()->isAncestorOf(focus)) {
                focusedRow = int(i);
            }
        }
    }
    QWidget* old = m_list;
    m_openButtons.clear();
    const QList<Draft>& drafts = m_draftStore.drafts();
    if (drafts.isEmpty()) {
        auto* empty = new EmptyStateView(Symbol::docText, u"No drafts"_s,
                                         u"Saved drafts will appear here."_s);
        empty->setObjectName(u"draftsEmptyState"_s);
        // Spoken when the focus lands here after the last draft went.
        empty->setAccessibleName(empty->title());
        empty->setAccessibleDescription(u"Saved drafts will appear here."_s);
        // Not a Tab stop, but placeable in the tab chain (Qt orders no NoFocus widget), so
        // that Tab goes on from here to the floating button.
        empty->setFocusPolicy(Qt::ClickFocus);
        m_list = empty;
    } else {
        auto* card = new Surface(Theme::card());
        card->setObjectName(u"draftsCard"_s);
        card->setCornerRadius(Metrics::cornerRadius);
        auto* column = new QVBoxLayout(card);
        column->setContentsMargins(0, 0, 0, 0);
        column->setSpacing(0);
        const QUuid lastID = drafts.last().id;
        for (const Draft& draft : drafts) {
            column->addWidget(row(draft));
            if (draft.id != lastID) {
                column->addWidget(divider());
            }
        }
        m_list = card;
    }
    m_pane->column()->addWidget(m_list);
    // At once, not on the layout's next turn.
    m_list->show();
    if (focusedRow >= 0) {
        if (m_openButtons.isEmpty()) {
            m_list->setFocus(Qt::OtherFocusReason);
        } else {
            m_openButtons[std::min<qsizetype>(focusedRow, m_openButtons.size() - 1)]->setFocus(
                Qt::OtherFocusReason);
        }
    }
    if (old) {
        // Hidden once the focus has left it. The click that got here may still be running
        // inside the old list.
        old->hide();
        old->deleteLater();
    }
    Q_EMIT listRebuilt();
}

QWidget* DraftsView::row(const Draft& draft) {
    auto* rowWidget = new QWidget;
    rowWidget->setObjectName(u"draftRow"_s);
    auto* layout = new QHBoxLayout(rowWidget);
    layout->setContentsMargins(Metrics::defaultPadding, 0, Metrics::defaultPadding, 0);
    layout->setSpacing(12);
    layout->setAlignment(Qt::AlignTop);

    auto* label = new QWidget;
    auto* labelColumn = new QVBoxLayout(label);
    labelColumn->setContentsMargins(0, 6, 0, 6);
    labelColumn->setSpacing(6);
    auto* title = textLabel(draft.title(), quillon::font(TextStyle::headline), Theme::ink());
    title->setObjectName(u"draftTitle"_s);
    title->setWordWrap(true);
    auto* body = new ElidedLabel(draft.body, 3);
    setTextStyle(body, quillon::font(TextStyle::subheadline), Theme::secondaryInk());
    body->setObjectName(u"draftBody"_s);
    auto* date = textLabel(abbreviatedDateTime(draft.updatedAt), quillon::font(TextStyle::caption),
                           Theme::secondaryInk());
    date->setObjectName(u"draftDate"_s);
    labelColumn->addWidget(title);
    labelColumn->addWidget(body);
    labelColumn->addWidget(date);

    auto* open = new ContentButton;
    open->setObjectName(u"openDraftButton"_s);
    open->setContent(label);
    open->setAccessibleName(draft.title());
    connect(open, &QAbstractButton::clicked, this, [this, draft] { openDraft(draft); });
    m_openButtons.append(open);

    auto* remove = new GlyphButton(Symbol::xmark, 13, 32, Theme::secondaryInk());
    remove->setObjectName(u"deleteDraftButton"_s);
    // Named after its draft: a list of identical "Delete draft" buttons tells a screen-reader
    // user nothing about which one is which.
    remove->setAccessibleName(u"Delete draft %1"_s.arg(draft.title()));
    remove->setToolTip(u"Delete draft"_s);
    connect(remove, &QAbstractButton::clicked, this, [this, draft] { deleteDraft(draft); });

    layout->addWidget(open, 1, Qt::AlignTop);
    layout->addWidget(remove, 0, Qt::AlignTop);
    return rowWidget;
}

void DraftsView::openDraft(const Draft& draft) {
    m_draftStore.openDraft(draft);
    if (m_onOpenDraft) {
        m_onOpenDraft();
    }
}

void DraftsView::deleteDraft(const Draft& draft) {
    m_draftStore.deleteDraft(draft.id);
}

} // namespace quillon
