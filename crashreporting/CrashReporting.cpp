#include "crashreporting/CrashReporting.h"

#include "crashreporting/EnvelopeCrashReporter.h"

#include <memory>

using namespace Qt::StringLiterals;

namespace quillon {
namespace {

struct CrashReportingKeys {
    QString dsn;
    QString environment;
    double tracesSampleRate;
};

CrashReportingKeys readKeys(const QVariantMap& info) {
    const QVariant dsn = info.value(u"SentryDSN"_s);
    const QVariant environment = info.value(u"SentryEnvironment"_s);
    const QVariant rate = info.value(u"SentryTracesSampleRate"_s);
    const bool rateIsNumber =
        rate.typeId() == QMetaType::Double || rate.typeId() == QMetaType::LongLong;
    return {dsn.typeId() == QMetaType::QString ? dsn.toString() : QString(),
            environment.typeId() == QMetaType::QString ? environment.toString() : u"production"_s,
            rateIsNumber ? rate.toDouble() : 0.1};
}

} // namespace

CrashReporter& processCrashReporter(const QVariantMap& infoDictionary) {
    static EnvelopeCrashReporter reporter(EnvelopeCrashReporter::defaultFolder(),
                                          EnvelopeCrashReporter::releaseName(infoDictionary));
    return reporter;
}

void configureCrashReporting(const QVariantMap& infoDictionary) {
    const CrashReportingKeys keys = readKeys(infoDictionary);
    // The reporter and its release are made only when there is something to start.
    if (keys.dsn.trimmed().isEmpty()) {
        return;
    }
    startCrashReporting(processCrashReporter(infoDictionary), keys.dsn, keys.environment,
                        keys.tracesSampleRate);
}

void configureCrashReporting(const QVariantMap& infoDictionary, CrashReporter& reporter) {
    const CrashReportingKeys keys = readKeys(infoDictionary);
    startCrashReporting(reporter, keys.dsn, keys.environment, keys.tracesSampleRate);
}

void startCrashReporting(CrashReporter& reporter, const QString& dsn, const QString& environment,
                         double tracesSampleRate) {
    // QChar::isSpace is the Unicode separators plus U+0009-U+000D and U+0085: whitespace and
    // newlines.
    const QString trimmed = dsn.trimmed();
    if (trimmed.isEmpty()) {
        return;
    }
    reporter.start([&](CrashReporterOptions& options) {
        options.dsn = trimmed;
        options.environment = environment;
        options.sendDefaultPii = false;
        options.enableCrashHandler = true;
        options.enableAppHangTracking = true;
        options.enableAutoPerformanceTracing = true;
        options.tracesSampleRate = tracesSampleRate;
    });
}

} // namespace quillon
