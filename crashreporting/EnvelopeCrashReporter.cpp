#include "crashreporting/EnvelopeCrashReporter.h"

#include "crashreporting/AppHangWatchdog.h"
#include "crashreporting/EnvelopeUploader.h"
#include "crashreporting/FatalSignalRecorder.h"
#include "crashreporting/SentryEnvelope.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QSaveFile>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>
#include <cstdio>

namespace quillon {

EnvelopeCrashReporter::EnvelopeCrashReporter(QString folder, QString release,
                                             std::chrono::milliseconds appHangTimeout)
    : m_folder(std::move(folder))
    , m_release(std::move(release))
    , m_appHangTimeout(appHangTimeout) {}

EnvelopeCrashReporter::~EnvelopeCrashReporter() {
    shutDown();
    if (m_ownsSignalHandlers) {
        FatalSignalRecorder::uninstall();
    }
}

QString EnvelopeCrashReporter::defaultFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
           QStringLiteral("/quillon/crash-reports");
}

QString EnvelopeCrashReporter::releaseName(const QVariantMap& info) {
    const auto text = [&](const char* key) {
        const QVariant value = info.value(QString::fromLatin1(key));
        return value.typeId() == QMetaType::QString ? value.toString() : QString();
    };
    QString release = text("CFBundleIdentifier") + u'@' + text("CFBundleShortVersionString");
    const QString build = text("CFBundleVersion");
    if (!build.isEmpty()) {
        release += u'+' + build;
    }
    return release;
}

void EnvelopeCrashReporter::start(const std::function<void(CrashReporterOptions&)>& configure) {
    if (m_dsn) {
        return;
    }
    CrashReporterOptions options;
    if (configure) {
        configure(options);
    }
    m_options = options;
    QString error;
    m_dsn = SentryDsn::parse(options.dsn, &error);
    if (!m_dsn) {
        std::fprintf(stderr, "Crash reporting is off: %s.\n", qPrintable(error));
        return;
    }
    // A folder that cannot be made only means crashes go unrecorded.
    QDir().mkpath(m_folder);
    if (options.enableCrashHandler) {
        m_ownsSignalHandlers =
            FatalSignalRecorder::install(m_folder, options.dsn, options.environment, m_release);
    }
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) {
        return;
    }
    QObject::connect(app, &QCoreApplication::aboutToQuit, m_context.get(), [this] { shutDown(); });
    if (m_ownsSignalHandlers) {
        // Libraries loaded later (plugins, on-demand features) join the crash's list of loaded
        // objects; a check that finds no change costs one look at the linker's counters.
        auto* refresh = new QTimer(m_context.get());
        QObject::connect(refresh, &QTimer::timeout, refresh, &FatalSignalRecorder::refreshImages);
        refresh->start(std::chrono::seconds(1));
    }
    if (options.enableAppHangTracking) {
        m_watchdog = std::make_unique<AppHangWatchdog>(
            m_appHangTimeout, [this](std::chrono::milliseconds timeout) { reportHang(timeout); });
    }
    // Once the event loop runs, that is after the window is shown: start-up does no network
    // work.
    QTimer::singleShot(0, m_context.get(), [this] { scheduleUpload(); });
}

void EnvelopeCrashReporter::scheduleUpload() {
    if (!m_dsn) {
        return;
    }
    if (!m_uploadThread) {
        m_uploadThread = new QThread();
        m_uploadThread->setObjectName(QStringLiteral("quillon.crash-reports"));
        m_uploader = new EnvelopeUploader(m_folder, *m_dsn);
        m_uploader->moveToThread(m_uploadThread);
        // Deferred deletions still run on the thread after its loop has stopped.
        QObject::connect(m_uploadThread, &QThread::finished, m_uploader, &QObject::deleteLater);
        m_uploadThread->start();
    }
    QMetaObject::invokeMethod(m_uploader, &EnvelopeUploader::uploadPending, Qt::QueuedConnection);
}

void EnvelopeCrashReporter::reportHang(std::chrono::milliseconds timeout) {
    // Runs on the watchdog's thread while the main thread is stuck, so it must not need it.
    const QString eventID = envelope::newEventID();
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QString message =
        QStringLiteral("App hanging for at least %1 ms.").arg(qint64(timeout.count()));
    const QJsonObject exception{
        {QStringLiteral("type"), QStringLiteral("App Hanging")},
        {QStringLiteral("value"), message},
        {QStringLiteral("mechanism"),
         QJsonObject{{QStringLiteral("type"), QStringLiteral("AppHang")},
                     {QStringLiteral("handled"), true}}},
    };
    const QJsonObject event{
        {QStringLiteral("event_id"), eventID},
        {QStringLiteral("timestamp"), now.toMSecsSinceEpoch() / 1000.0},
        {QStringLiteral("platform"), QStringLiteral("native")},
        {QStringLiteral("level"), QStringLiteral("error")},
        {QStringLiteral("environment"), m_options.environment},
        {QStringLiteral("release"), m_release},
        {QStringLiteral("exception"),
         QJsonObject{{QStringLiteral("values"), QJsonArray{exception}}}},
    };
    QSaveFile file(QDir(m_folder).filePath(eventID + QStringLiteral(".envelope")));
    if (!file.open(QIODevice::WriteOnly)) {
        return;
    }
    file.write(envelope::eventEnvelope(eventID, m_options.dsn, event, now));
    if (!file.commit()) {
        return;
    }
    QMetaObject::invokeMethod(
        m_context.get(), [this] { scheduleUpload(); }, Qt::QueuedConnection);
}

void EnvelopeCrashReporter::shutDown() {
    m_watchdog.reset();
    if (m_uploadThread) {
        m_uploadThread->quit();
        m_uploadThread->wait();
        delete m_uploadThread;
        m_uploadThread = nullptr;
        m_uploader = nullptr;
    }
}

} // namespace quillon
