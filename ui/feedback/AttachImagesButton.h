#pragma once

#include "ui/kit/SecondaryButton.h"

namespace quillon {

// "Attach images" in the secondary look, with the photo symbol before its title.
class AttachImagesButton : public SecondaryButton {
    Q_OBJECT

public:
    static constexpr int symbolSize = 18;
    static constexpr int symbolSpacing = 8;

    explicit AttachImagesButton(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace quillon
