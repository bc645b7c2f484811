#pragma once

#include <QString>
#include <functional>
#include <optional>

namespace quillon {

// The options of a crash-reporting client's start call; unset fields keep the client's
// defaults.
struct CrashReporterOptions {
    QString dsn;
    QString environment = QStringLiteral("production");
    bool sendDefaultPii = false;
    bool enableCrashHandler = true;
    bool enableAppHangTracking = true;
    bool enableAutoPerformanceTracing = true;
    std::optional<double> tracesSampleRate;
};

// A crash-reporting client as the start-up sees it: one start call that lets the caller set
// the options. Started at most once.
class CrashReporter {
public:
    virtual ~CrashReporter() = default;
    virtual void start(const std::function<void(CrashReporterOptions&)>& configureOptions) = 0;
};

} // namespace quillon
