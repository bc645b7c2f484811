#pragma once

#include "ui/kit/ActionButton.h"
#include "ui/theme/Theme.h"

namespace quillon {

// A screen's other actions: card fill with a thin ink border.
class SecondaryButton : public ActionButton {
    Q_OBJECT

public:
    explicit SecondaryButton(const QString& text = {}, QWidget* parent = nullptr)
        : ActionButton(text, Theme::card(), true, parent) {}
};

} // namespace quillon
