#pragma once

#include <QList>
#include <QPointer>
#include <QWidget>

class QShortcut;
class QStackedWidget;

namespace quillon {

// A pane's own navigation: a root page with pages pushed over it. A pushed page sits under a
// bar with a back control; Escape and Alt+Left go back as well. Popping deletes the page.
class NavigationStack : public QWidget {
    Q_OBJECT

public:
    explicit NavigationStack(QWidget* root, QWidget* parent = nullptr);

    // The root counts: 1 while only the root shows.
    int depth() const;
    QWidget* root() const { return m_root; }
    // The page on top: the root, or the last page pushed.
    QWidget* top() const;

    void push(QWidget* page);
    // Goes back one page; nothing at the root.
    void pop();
    // Goes back to the page under `page` when it is still on the stack, else nothing.
    void popTo(QWidget* page);

Q_SIGNALS:
    void depthChanged(int depth);

private:
    void enableShortcuts();
    void nameAfterTop();

    QWidget* m_root;
    QList<QShortcut*> m_backShortcuts;
    // What had the focus under each pushed page, to give it back when the page goes.
    QList<QPointer<QWidget>> m_returnFocus;
    // Named after the page on top.
    QStackedWidget* m_stack;
};

} // namespace quillon
