#pragma once

#include <QObject>

class QAbstractItemView;

namespace quillon {

// Makes a list say its current row when it gets the focus. Qt reports the focus of the list
// alone, so a screen reader says "Sections, list" without the section that is chosen; the
// row's own focus event, sent after the list's, makes it say "Editor, selected".
class CurrentItemAnnouncer : public QObject {
    Q_OBJECT

public:
    // Owned by `view`.
    static void install(QAbstractItemView* view);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit CurrentItemAnnouncer(QAbstractItemView* view);
    void announce();

    QAbstractItemView* m_view;
};

} // namespace quillon
