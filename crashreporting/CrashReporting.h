#pragma once

#include <QString>
#include <QVariantMap>

namespace quillon {

class CrashReporter;

// Starts crash reporting from the Info.plist keys "SentryDSN", "SentryEnvironment" and
// "SentryTracesSampleRate" (missing or of another type: empty, "production", 0.1), on the
// process's reporter or on `reporter`. Never fails. The start-up hands in the dictionary it
// has already read.
void configureCrashReporting(const QVariantMap& infoDictionary);
void configureCrashReporting(const QVariantMap& infoDictionary, CrashReporter& reporter);

// Trims the DSN; an empty one starts nothing. Otherwise starts the reporter with the DSN, the
// environment as given, no personal data, the crash handler, app-hang tracking, automatic
// performance tracing and the traces sample rate.
void startCrashReporting(CrashReporter& reporter, const QString& dsn, const QString& environment,
                         double tracesSampleRate);

// The process's one reporter: our envelope reporter over the user's cache folder, its release
// named from `infoDictionary` when it is first asked for.
CrashReporter& processCrashReporter(const QVariantMap& infoDictionary);

} // namespace quillon
