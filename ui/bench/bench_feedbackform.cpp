// Attaches one 40 MiB image in the feedback form and sends it to the stand-in backend (a child
// process), then prints how long loading and sending took and the main thread's longest
// stretch without returning to the event loop: what decides whether the window stays
// responsive. Asserts nothing.
#include "core/backend/FeedbackService.h"
#include "core/flows/FeedbackFlow.h"
#include "core/storage/AuthTokenStore.h"
#include "core/storage/LinkedInSessionStore.h"
#include "core/storage/SecretServiceKeychain.h"
#include "tests/support/BackendProcess.h"
#include "ui/feedback/FeedbackView.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QPlainTextEdit>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

constexpr qsizetype imageSize = 40 * 1024 * 1024;

// The longest time the main thread works between two waits in its event loop.
class LongestStretch {
public:
    explicit LongestStretch(QAbstractEventDispatcher* dispatcher) {
        QObject::connect(dispatcher, &QAbstractEventDispatcher::awake,
                         [this] { m_stretch.restart(); });
        QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, [this] { end(); });
        m_stretch.start();
    }
    void end() {
        if (m_stretch.isValid()) {
            m_longest = std::max(m_longest, m_stretch.nsecsElapsed());
            m_stretch.invalidate();
        }
    }
    double ms() const { return m_longest / 1e6; }

private:
    QElapsedTimer m_stretch;
    qint64 m_longest = 0;
};

// Runs the event loop until `signal` of `sender` fires.
template <typename Signal> void waitFor(const quillon::FeedbackView* sender, Signal signal) {
    QEventLoop loop;
    QObject::connect(sender, signal, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    quillon::testsupport::BackendProcess backend({u"--quiet"_s});
    if (!backend.isListening()) {
        std::fprintf(stderr, "the stand-in backend did not start\n");
        return 1;
    }
    QTemporaryDir dir;
    const QString path = dir.filePath(u"huge.png"_s);
    {
        QByteArray image(imageSize, Qt::Uninitialized);
        QRandomGenerator(7).fillRange(reinterpret_cast<quint32*>(image.data()), image.size() / 4);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(image) != image.size()) {
            std::fprintf(stderr, "cannot write the image\n");
            return 1;
        }
    }

    quillon::FeedbackService service(backend.baseURL());
    quillon::LinkedInSessionStore session(std::make_shared<quillon::AuthTokenStore>(
        u"linkedin.token"_s, u"dev.tovrel.quillon.linkedin"_s,
        std::make_shared<quillon::SecretServiceKeychain>(std::chrono::seconds(1))));
    quillon::FeedbackFlow flow(service);
    quillon::FeedbackView form(session, flow, {});
    form.resize(520, 720);
    form.show();
    form.findChild<QPlainTextEdit*>()->setPlainText(u"One huge image"_s);
    QApplication::processEvents();

    LongestStretch longest(QApplication::eventDispatcher());
    QElapsedTimer timer;
    timer.start();
    form.pickImages({path});
    waitFor(&form, &quillon::FeedbackView::attachmentsChanged);
    const double loadedMs = timer.nsecsElapsed() / 1e6;
    longest.end();
    const double loadStretch = longest.ms();

    timer.restart();
    form.send();
    waitFor(&form, &quillon::FeedbackView::isSendingChanged);
    longest.end();
    const double sentMs = timer.nsecsElapsed() / 1e6;
    if (form.statusMessage() != u"Sent. Confirmation was emailed to you."_s) {
        std::fprintf(stderr, "the send failed: %s\n", qPrintable(form.statusMessage()));
        return 1;
    }
    std::printf("feedback form: one image of %lld MiB\n", imageSize / (1024 * 1024));
    std::printf("feedback form: picked to attached (read, Base64)        %8.2f ms\n", loadedMs);
    std::printf("feedback form: longest main-thread stretch while loading %7.2f ms\n", loadStretch);
    std::printf("feedback form: send to the accepted answer              %8.2f ms\n", sentMs);
    std::printf("feedback form: longest main-thread stretch overall      %8.2f ms"
                " (a frame is 16.7 ms)\n",
                longest.ms());
    return 0;
}
