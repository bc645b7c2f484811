// Builds and sends feedback with five images of 5 MB each to the stand-in backend (a child
// process, so its memory is not counted) and prints how long the main thread was busy, its
// longest stretch without returning to the event loop, and the peak memory. Asserts nothing.
#include "core/backend/FeedbackService.h"
#include "tests/support/BackendProcess.h"
#include "tests/support/TaskOutcome.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QCoroFuture>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

constexpr int imageCount = 5;
constexpr qsizetype imageSize = 5 * 1024 * 1024;

// A line of /proc/self/status in MiB, e.g. "VmHWM".
double statusMiB(const char* key) {
    QFile status(u"/proc/self/status"_s);
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    const auto match = QRegularExpression(u"%1:\\s+(\\d+) kB"_s.arg(QLatin1String(key)))
                           .match(QString::fromLatin1(status.readAll()));
    return match.hasMatch() ? match.captured(1).toDouble() / 1024.0 : -1;
}

// Lets the peak resident size start again from the current one.
bool resetPeak() {
    QFile clear(u"/proc/self/clear_refs"_s);
    return clear.open(QIODevice::WriteOnly) && clear.write("5") == 1;
}

// How long the main thread works between waits in its event loop.
class MainThreadWatch {
public:
    explicit MainThreadWatch(QAbstractEventDispatcher* dispatcher) {
        QObject::connect(dispatcher, &QAbstractEventDispatcher::awake,
                         [this] { m_stretch.restart(); });
        QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock,
                         [this] { endStretch(); });
        m_stretch.start();
    }
    void endStretch() {
        if (!m_stretch.isValid()) {
            return;
        }
        const qint64 busy = m_stretch.nsecsElapsed();
        m_busy += busy;
        m_longest = std::max(m_longest, busy);
        m_stretch.invalidate();
    }
    double busyMs() const { return m_busy / 1e6; }
    double longestMs() const { return m_longest / 1e6; }

private:
    QElapsedTimer m_stretch;
    qint64 m_busy = 0;
    qint64 m_longest = 0;
};

// What the feedback form does: the picked images become attachments, which are sent.
QCoro::Task<> buildAndSend(quillon::FeedbackService& service, QStringList images,
                           qint64* builtAfter, const QElapsedTimer& timer) {
    const QFuture<quillon::FeedbackImageLoad> building = service.loadAttachments(std::move(images));
    QList<quillon::FeedbackImageAttachment> attachments = (co_await building).attachments;
    *builtAfter = timer.nsecsElapsed();
    const QCoro::Task<> sending = service.send(
        u"Five large images"_s, u"See the attachments."_s,
        quillon::FeedbackSenderIdentity{u"Ada"_s, u"m-1"_s, std::nullopt}, std::move(attachments));
    co_await sending;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    quillon::testsupport::BackendProcess backend({u"--quiet"_s});
    if (!backend.isListening()) {
        std::fprintf(stderr, "the stand-in backend did not start\n");
        return 1;
    }
    QHash<QString, QByteArray> imageData;
    QStringList images;
    for (int i = 0; i < imageCount; ++i) {
        QByteArray image(imageSize, Qt::Uninitialized);
        QRandomGenerator(quint32(i + 1))
            .fillRange(reinterpret_cast<quint32*>(image.data()), image.size() / 4);
        images.append(QString::number(i + 1));
        imageData.insert(images.back(), image);
    }
    // The images are read from memory, so the figures do not depend on the disk.
    quillon::FeedbackService service(
        backend.baseURL(), quillon::http::defaultTimeout, [imageData](const QString& path) {
            return quillon::ImageFileRead{quillon::ImageFileRead::Outcome::read,
                                          imageData.value(path)};
        });

    // One send first, so that first-use costs of the network stack are not counted.
    quillon::testsupport::awaitOutcome(service.send(QString(), u"warm-up"_s, std::nullopt, {}));

    const double rssBefore = statusMiB("VmRSS");
    const bool peakReset = resetPeak();
    MainThreadWatch watch(QCoreApplication::eventDispatcher());
    QElapsedTimer timer;
    timer.start();
    qint64 builtAfter = 0;
    const auto outcome = quillon::testsupport::awaitOutcome(
        buildAndSend(service, std::move(images), &builtAfter, timer));
    watch.endStretch();
    const double totalMs = timer.nsecsElapsed() / 1e6;
    const double peak = statusMiB("VmHWM");
    if (!outcome.succeeded()) {
        std::fprintf(stderr, "the send failed: %s\n", qPrintable(outcome.description()));
        return 1;
    }

    std::printf("feedback send: %d images of %lld MiB\n", imageCount, imageSize / (1024 * 1024));
    std::printf("feedback send: attachments built (Base64, own threads)  %8.2f ms\n",
                builtAfter / 1e6);
    std::printf("feedback send: built and sent, to the accepted answer  %8.2f ms\n", totalMs);
    std::printf("feedback send: main thread busy meanwhile               %8.2f ms\n",
                watch.busyMs());
    std::printf(
        "feedback send: longest main-thread stretch              %8.2f ms (a frame is 16.7 ms)\n",
        watch.longestMs());
    std::printf("feedback send: resident before (images in memory)       %8.1f MiB\n", rssBefore);
    if (peakReset) {
        std::printf(
            "feedback send: peak resident while building and sending %8.1f MiB (+%.1f MiB)\n", peak,
            peak - rssBefore);
    } else {
        std::printf("feedback send: peak resident of the process             %8.1f MiB\n", peak);
    }
    return 0;
}
