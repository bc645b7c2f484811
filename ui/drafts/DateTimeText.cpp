#include "ui/drafts/DateTimeText.h"

#include <QTimeZone>
#include <memory>
#include <unicode/datefmt.h>
#include <unicode/locid.h>
#include <unicode/timezone.h>
#include <unicode/unistr.h>

namespace quillon {

QString abbreviatedDateTime(const QDateTime& when, const QLocale& locale) {
    if (!when.isValid()) {
        return {};
    }
    // Qt has no medium date style; ICU holds the locale's own patterns for it.
    const icu::Locale icuLocale(locale.name().toUtf8().constData());
    std::unique_ptr<icu::DateFormat> format(icu::DateFormat::createDateTimeInstance(
        icu::DateFormat::kMedium, icu::DateFormat::kShort, icuLocale));
    if (!format) {
        return QLocale(locale).toString(when.toLocalTime(), QLocale::ShortFormat);
    }
    // The same zone Qt reads local times in.
    const QByteArray zone = QTimeZone::systemTimeZoneId();
    format->adoptTimeZone(icu::TimeZone::createTimeZone(
        icu::UnicodeString::fromUTF8(icu::StringPiece(zone.constData(), int(zone.size())))));
    icu::UnicodeString text;
    format->format(UDate(when.toMSecsSinceEpoch()), text);
    return QString(reinterpret_cast<const QChar*>(text.getBuffer()), text.length());
}

} // namespace quillon
