#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

namespace quillon {

// `when` in the local time zone, as an abbreviated date with a short time in `locale`'s own
// pattern ("Dec 10, 2026, 10:23 AM" in American English).
QString abbreviatedDateTime(const QDateTime& when, const QLocale& locale = QLocale());

} // namespace quillon
