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

using namespace Qt::StringLiterals;

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
           u"/quillon/crash-reports"_s;
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
        m_uploadThread->setObjectName(u"quillon.crash-reports"_s);
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
    const QString message = u"App hanging for at least %1 ms."_s.arg(qint64(timeout.count()));
    const QJsonObject exception{
        {u"type"_s, u"App Hanging"_s},
        {u"value"_s, message},
        {u"mechanism"_s, QJsonObject{{u"type"_s, u"AppHang"_s}, {u"handled"_s, true}}},
    };
    const QJsonObject event{
        {u"event_id"_s, eventID},
        {u"timestamp"_s, now.toMSecsSinceEpoch() / 1000.0},
        {u"platform"_s, u"native"_s},
        {u"level"_s, u"error"_s},
        {u"environment"_s, m_options.environment},
        {u"release"_s, m_release},
        {u"exception"_s, QJsonObject{{u"values"_s, QJsonArray{exception}}}},
    };
    QSaveFile file(QDir(m_folder).filePath(eventID + u".envelope"_s));
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
