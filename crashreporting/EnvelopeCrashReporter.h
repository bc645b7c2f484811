#pragma once

#include "crashreporting/CrashReporter.h"
#include "crashreporting/SentryDsn.h"

#include <QObject>
#include <QString>
#include <QVariantMap>
#include <chrono>
#include <memory>
#include <optional>

class QThread;

namespace quillon {

class AppHangWatchdog;
class EnvelopeUploader;

// Our own crash reporter speaking Sentry's envelope protocol: on a fatal signal it writes
// the crash as an event envelope into its folder; after start it sends the envelopes left by
// earlier runs in the background; with app-hang tracking on, a main thread that does not
// answer for the hang timeout sends one hang event. Attaches no personal data. Performance
// tracing is not implemented: its options are kept and do nothing.
class EnvelopeCrashReporter : public CrashReporter {
public:
    EnvelopeCrashReporter(QString folder, QString release,
                          std::chrono::milliseconds appHangTimeout = std::chrono::seconds(2));
    // Stops watching, uploading and catching signals.
    ~EnvelopeCrashReporter() override;

    // An invalid DSN starts nothing and says why on standard error.
    void start(const std::function<void(CrashReporterOptions&)>& configureOptions) override;

    bool isStarted() const { return m_dsn.has_value(); }
    const CrashReporterOptions& options() const { return m_options; }
    const QString& folder() const { return m_folder; }

    // The user's cache folder for crash envelopes.
    static QString defaultFolder();
    // "<bundle identifier>@<version>+<build>", as Sentry names a release.
    static QString releaseName(const QVariantMap& infoDictionary);

private:
    void scheduleUpload();
    void reportHang(std::chrono::milliseconds timeout);
    void shutDown();

    const QString m_folder;
    const QString m_release;
    const std::chrono::milliseconds m_appHangTimeout;
    CrashReporterOptions m_options;
    std::optional<SentryDsn> m_dsn;
    bool m_ownsSignalHandlers = false;
    std::unique_ptr<AppHangWatchdog> m_watchdog;
    QThread* m_uploadThread = nullptr;
    EnvelopeUploader* m_uploader = nullptr;
    // Drops queued work once the reporter is gone.
    std::unique_ptr<QObject> m_context = std::make_unique<QObject>();
};

} // namespace quillon
