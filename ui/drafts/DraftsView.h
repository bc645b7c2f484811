#pragma once

#include "core/model/Draft.h"

#include <QList>
#include <QWidget>
#include <functional>

namespace quillon {

class DraftStore;
class ScrollPane;

// The Drafts pane: the current owner's saved drafts, newest first, each opened into the
// editor by a click anywhere on its text and deleted by its cross at once.
class DraftsView : public QWidget {
    Q_OBJECT

public:
    DraftsView(DraftStore& draftStore, std::function<void()> onOpenDraft,
               QWidget* parent = nullptr);

    void openDraft(const Draft& draft);
    void deleteDraft(const Draft& draft);

Q_SIGNALS:
    // A new list replaced the old one; its controls joined the end of the window's tab chain.
    void listRebuilt();

private:
    void rebuild();
    QWidget* row(const Draft& draft);

    DraftStore& m_draftStore;
    const std::function<void()> m_onOpenDraft;
    ScrollPane* m_pane;
    QWidget* m_list = nullptr;
    // Each row's open control, in the list's order.
    QList<QWidget*> m_openButtons;
};

} // namespace quillon
