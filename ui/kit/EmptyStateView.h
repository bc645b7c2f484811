#pragma once

#include "ui/theme/Symbols.h"

#include <QWidget>

class QLabel;

namespace quillon {

// What a list shows when it has nothing: a large symbol, a title and one line of
// description, centred.
class EmptyStateView : public QWidget {
    Q_OBJECT

public:
    EmptyStateView(Symbol symbol, const QString& title, const QString& description,
                   QWidget* parent = nullptr);

    QString title() const;
    QString description() const;

private:
    QLabel* m_title;
    QLabel* m_description;
};

} // namespace quillon
