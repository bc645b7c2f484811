#include "core/storage/UserDefaults.h"

#include <QSettings>

namespace quillon {

std::shared_ptr<QSettings> standardUserDefaults() {
    return std::make_shared<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                       QStringLiteral("quillon"), QStringLiteral("quillon"));
}

} // namespace quillon
