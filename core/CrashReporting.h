#pragma once

#include <QString>

namespace quillon {

class AppBundle;

// Starts crash reporting from the bundle's "SentryDSN", "SentryEnvironment" and
// "SentryTracesSampleRate" keys (missing: empty, "production", 0.1). Never fails.
void configureCrashReporting(const AppBundle& bundle);

// Trims the DSN; an empty one starts nothing.
void startCrashReporting(const QString& dsn, const QString& environment, double tracesSampleRate);

} // namespace quillon
