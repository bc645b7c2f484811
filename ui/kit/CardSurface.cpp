#include "ui/kit/CardSurface.h"

#include "ui/kit/Surface.h"
#include "ui/theme/Metrics.h"
#include "ui/theme/Theme.h"

#include <QBoxLayout>

namespace quillon {

Surface* cardSurface(const QString& objectName, QBoxLayout* layout, int spacing) {
    auto* card = new Surface(Theme::card());
    card->setObjectName(objectName);
    card->setCornerRadius(Metrics::cornerRadius);
    card->setLayout(layout);
    layout->setContentsMargins(Metrics::defaultPadding, Metrics::defaultPadding,
                               Metrics::defaultPadding, Metrics::defaultPadding);
    layout->setSpacing(spacing);
    return card;
}

} // namespace quillon
