#pragma once

#include "ui/kit/ActionButton.h"
#include "ui/theme/Theme.h"

namespace quillon {

// The main action of a screen: lime fill, no border.
class PrimaryButton : public ActionButton {
    Q_OBJECT

public:
    explicit PrimaryButton(const QString& text = {}, QWidget* parent = nullptr)
        : ActionButton(text, Theme::lime(), false, parent) {}
};

} // namespace quillon
