#include "CrashReporting.h"

#include "AppBundle.h"
#include "UnicodeText.h"

namespace quillon {

void configureCrashReporting(const AppBundle& bundle)
{
    const QVariantMap info = bundle.infoDictionary();
    const QVariant dsn = info.value(QStringLiteral("SentryDSN"));
    const QVariant environment = info.value(QStringLiteral("SentryEnvironment"));
    const QVariant rate = info.value(QStringLiteral("SentryTracesSampleRate"));
    const bool rateIsNumber =
        rate.typeId() == QMetaType::Double || rate.typeId() == QMetaType::LongLong;
    startCrashReporting(dsn.typeId() == QMetaType::QString ? dsn.toString() : QString(),
                        environment.typeId() == QMetaType::QString ? environment.toString()
                                                                   : QStringLiteral("production"),
                        rateIsNumber ? rate.toDouble() : 0.1);
}

void startCrashReporting(const QString& dsn, const QString& environment, double tracesSampleRate)
{
    const QString trimmed = unicode::trimmedWhitespaceAndNewlines(dsn);
    if (trimmed.isEmpty()) {
        return;
    }
    // The reporter itself is not part of the build yet.
    Q_UNUSED(environment);
    Q_UNUSED(tracesSampleRate);
}

} // namespace quillon
