#pragma once

#include <QSettings>
#include <memory>

namespace quillon {

// The app's standard per-user defaults store: an INI file under the XDG config folder
// (~/.config/quillon/quillon.ini). Values keep their type; bytes stay bytes.
std::shared_ptr<QSettings> standardUserDefaults();

// Qt's INI format, written so that a save that cannot complete (a full disk, a quota) leaves
// the previous file as it was: the new text is checked to read back whole and every byte of
// it to reach the file before the file is replaced. Files are written owner-only (0600).
QSettings::Format userDefaultsFormat();

} // namespace quillon
