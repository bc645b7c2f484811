// Memory of pane visits: the real start-up and window at its smallest size with 15 drafts and a
// long post in the editor, so that every pane that can scroll does, the editor too, then
// section switches through every pane as a click in the sidebar makes them, each inside the
// event loop and painted before the next. Prints the heap in use (mapped blocks included) and
// the resident memory after the first 100 switches and after 10,000 (goal: within 1 MiB of each
// other). Runs on the platform it is given: offscreen under scripts/bench, an X server with
// QT_QPA_PLATFORM=xcb. Asserts nothing.
#include "app/QuillonDesktopApp.h"
#include "app/StartUpAhead.h"
#include "core/app/AppContainer.h"
#include "core/storage/DraftStore.h"
#include "ui/bench/SamplePost.h"
#include "ui/window/MainSplitView.h"
#include "ui/window/MainWindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QFile>
#include <QListWidget>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <malloc.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

constexpr int firstSwitches = 100;
constexpr int allSwitches = 10000;

struct Memory {
    double heapMiB;
    double residentMiB;
};

Memory memoryNow() {
    // Freed memory the allocator still holds is not the program's.
    malloc_trim(0);
    long pages = 0;
    long resident = 0;
    QFile statm(u"/proc/self/statm"_s);
    if (statm.open(QIODevice::ReadOnly)) {
        std::sscanf(statm.readAll().constData(), "%ld %ld", &pages, &resident);
    }
    const struct mallinfo2 heap = mallinfo2();
    return {double(heap.uordblks + heap.hblkhd) / 1048576.0,
            double(resident) * double(sysconf(_SC_PAGESIZE)) / 1048576.0};
}

// Counts what was painted, to show that every pane visited was drawn, scroll bars included.
class PaintCount : public QObject {
public:
    int panes = 0;
    // Per section, in the sidebar's order.
    int scrollBars[4] = {};
    int section = 0;
    QWidget* pane = nullptr;
    bool paneSeen = false;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && watched->isWidgetType()) {
            auto* widget = static_cast<QWidget*>(watched);
            if (!paneSeen && pane && (widget == pane || pane->isAncestorOf(widget))) {
                paneSeen = true;
                ++panes;
            }
            if (qobject_cast<QScrollBar*>(widget) && pane && pane->isAncestorOf(widget)) {
                ++scrollBars[section];
            }
        }
        return false;
    }
};

} // namespace

int main(int argc, char* argv[]) {
    // The drafts written below go to a folder of the run's own, never to the user's.
    QTemporaryDir home;
    for (const char* variable : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"}) {
        qputenv(variable, QFile::encodeName(home.filePath(QString::fromLatin1(variable))));
    }
    // As the program's main does.
    quillon::StartUpAhead ahead;
    QApplication application(argc, argv);
    ahead.finishFonts();
    quillon::QuillonDesktopApp app(ahead.bundle(), ahead.takeConfiguration());
    quillon::DraftStore& drafts = app.container().draftStore();
    for (int i = 0; i < quillon::DraftStore::maxDrafts; ++i) {
        drafts.newPost();
        drafts.setEditorText(u"Draft %1: what a week of shipping taught the team "
                             "about saying no"_s.arg(i + 1));
        drafts.saveDraft();
    }
    // A post longer than the editor shows, left unsaved: the editor scrolls, its own scroll bar
    // drawn at every visit of the Editor.
    drafts.setEditorText(quillon::bench::longPost(3000));
    quillon::MainWindow& window = app.showWindow();
    window.resize(window.minimumSize());
    if (!QTest::qWaitForWindowExposed(&window)) {
        std::fprintf(stderr, "the window was not shown\n");
        return 1;
    }
    auto* split = window.findChild<quillon::MainSplitView*>();
    QListWidget* sidebar = split->sidebar();

    PaintCount painted;
    application.installEventFilter(&painted);
    Memory first{};
    int switches = 0;
    QElapsedTimer timer;
    timer.start();
    QElapsedTimer sinceSwitch;
    QEventLoop loop;
    // One switch per turn of the event loop, after the last one was painted; the old pane's
    // deletion is left to the loop, as after a click.
    QTimer turn;
    turn.setInterval(0);
    QObject::connect(&turn, &QTimer::timeout, &loop, [&] {
        // A pane not drawn within a second is let go: the count printed shows it.
        if (switches > 0 && !painted.paneSeen && sinceSwitch.elapsed() < 1000) {
            return;
        }
        if (switches == firstSwitches) {
            first = memoryNow();
        }
        if (switches == allSwitches) {
            loop.quit();
            return;
        }
        sidebar->setCurrentRow((sidebar->currentRow() + 1) % sidebar->count());
        painted.pane = split->currentPane();
        painted.section = sidebar->currentRow();
        painted.paneSeen = false;
        sinceSwitch.start();
        ++switches;
    });
    turn.start();
    loop.exec();
    turn.stop();
    const double seconds = timer.nsecsElapsed() / 1e9;
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    const Memory last = memoryNow();

    std::printf("pane visits on the %s platform, window %dx%d: %d section switches through all "
                "%d panes in %.1f s, %d panes painted\n",
                qPrintable(QGuiApplication::platformName()), window.width(), window.height(),
                switches, sidebar->count(), seconds, painted.panes);
    std::printf("pane visits: scroll bars painted");
    for (int row = 0; row < sidebar->count(); ++row) {
        std::printf("%s %s %d", row ? "," : "", qPrintable(sidebar->item(row)->text()),
                    painted.scrollBars[row]);
    }
    std::printf("\n");
    std::printf("pane visits: heap in use after %d switches %8.2f MiB, after %d %8.2f MiB: "
                "%+.2f MiB (goal within 1 MiB)\n",
                firstSwitches, first.heapMiB, allSwitches, last.heapMiB,
                last.heapMiB - first.heapMiB);
    std::printf("pane visits: resident    after %d switches %8.2f MiB, after %d %8.2f MiB: "
                "%+.2f MiB (goal within 1 MiB)\n",
                firstSwitches, first.residentMiB, allSwitches, last.residentMiB,
                last.residentMiB - first.residentMiB);
    return 0;
}
