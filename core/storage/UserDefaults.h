#pragma once

#include <memory>

class QSettings;

namespace quillon {

// The app's standard per-user defaults store: an INI file under the XDG config folder
// (~/.config/quillon/quillon.ini). Values keep their type; bytes stay bytes.
std::shared_ptr<QSettings> standardUserDefaults();

} // namespace quillon
