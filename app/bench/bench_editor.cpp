// What a person waits for while writing: the real application and window, as the program's main
// builds them, on an X server (Xvfb), against a bare QPlainTextEdit measured in the same run.
// Each figure runs from a key event sent to the window through the X server until the editor has
// painted and the event loop has nothing left to do (the preview's layout and paint included):
// a keystroke at the end of a post of 3,000 (LinkedIn's longest), 10,000 and 100,000 characters
// with emoji, and Bold over the whole 100,000-character post, where the bare editor replaces the
// same selection with the same text. The preview repaints only the lines that changed, so it
// paints when they are in the window (after Bold, its first lines are); the last column counts
// the runs in which it did. QUILLON_BENCH_DISPLAY picks the display number (else Xvfb chooses a
// free one), QUILLON_BENCH_RUNS the runs of each figure (15). Prints medians and the ratio of
// each to the bare editor's.
#include "app/QuillonDesktopApp.h"
#include "app/StartUpAhead.h"
#include "app/bench/XvfbServer.h"
#include "core/app/AppContainer.h"
#include "core/storage/DraftStore.h"
#include "tests/support/Median.h"
#include "ui/bench/SamplePost.h"
#include "ui/editor/EditorView.h"
#include "ui/editor/PreviewText.h"
#include "ui/editor/RichTextEditor.h"
#include "ui/theme/Typography.h"
#include "ui/window/MainWindow.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QProcess>
#include <QStyleFactory>
#include <QTextBlock>
#include <QTextCursor>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>
#include <xcb/xcb.h>

using namespace Qt::StringLiterals;

namespace {

const char* const childVariable = "QUILLON_BENCH_EDITOR_CHILD";

using quillon::testing::median;

// Counts the paint events of the widgets it watches.
class PaintWatch : public QObject {
public:
    void watch(QWidget* widget) {
        widget->installEventFilter(this);
        m_counts[widget] = 0;
    }
    int count(QWidget* widget) const { return m_counts.value(widget); }
    void reset() {
        for (auto it = m_counts.begin(); it != m_counts.end(); ++it) {
            it.value() = 0;
        }
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            auto it = m_counts.find(static_cast<QWidget*>(watched));
            if (it != m_counts.end()) {
                ++it.value();
            }
        }
        return false;
    }

private:
    QHash<QWidget*, int> m_counts;
};

// Key events as the X server delivers them, sent to one of this process's windows.
class XKeys {
public:
    XKeys() {
        auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
        m_connection = x11 ? x11->connection() : nullptr;
        if (!m_connection) {
            return;
        }
        const xcb_setup_t* setup = xcb_get_setup(m_connection);
        m_root = xcb_setup_roots_iterator(setup).data->root;
        const int count = setup->max_keycode - setup->min_keycode + 1;
        xcb_get_keyboard_mapping_reply_t* mapping = xcb_get_keyboard_mapping_reply(
            m_connection,
            xcb_get_keyboard_mapping(m_connection, setup->min_keycode, uint8_t(count)), nullptr);
        if (!mapping) {
            return;
        }
        const xcb_keysym_t* keysyms = xcb_get_keyboard_mapping_keysyms(mapping);
        for (int code = 0; code < count; ++code) {
            for (int column = 0; column < mapping->keysyms_per_keycode; ++column) {
                const xcb_keysym_t keysym = keysyms[code * mapping->keysyms_per_keycode + column];
                if (!m_keycodes.contains(keysym)) {
                    m_keycodes.insert(keysym, xcb_keycode_t(setup->min_keycode + code));
                }
            }
        }
        free(mapping);
    }

    bool isReady() const { return m_connection && m_keycodes.contains('a'); }

    // A press and a release of the key for the Latin-1 `keysym` with `state` held.
    void click(QWidget* window, xcb_keysym_t keysym, uint16_t state = 0) {
        for (const uint8_t type : {XCB_KEY_PRESS, XCB_KEY_RELEASE}) {
            xcb_key_press_event_t event{};
            event.response_type = type;
            event.detail = m_keycodes.value(keysym);
            event.time = XCB_CURRENT_TIME;
            event.root = m_root;
            event.event = xcb_window_t(window->winId());
            event.same_screen = 1;
            event.state = state;
            xcb_send_event(m_connection, false, event.event, XCB_EVENT_MASK_KEY_PRESS,
                           reinterpret_cast<const char*>(&event));
        }
        xcb_flush(m_connection);
    }

private:
    xcb_connection_t* m_connection = nullptr;
    xcb_window_t m_root = 0;
    QHash<xcb_keysym_t, xcb_keycode_t> m_keycodes;
};

// Runs the event loop until nothing is left to do.
void drain() {
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    while (dispatcher->processEvents(QEventLoop::AllEvents)) {
    }
}

// Milliseconds from `act` until `painted` has seen a paint and the event loop is idle; -1 when
// no paint came within 10 s.
double timeUntilPainted(PaintWatch& paints, QWidget* painted, const std::function<void()>& act) {
    drain();
    paints.reset();
    QElapsedTimer timer;
    timer.start();
    act();
    while (paints.count(painted) == 0) {
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
        if (timer.elapsed() > 10000) {
            return -1;
        }
    }
    drain();
    return double(timer.nsecsElapsed()) / 1e6;
}

void activate(QWidget* window) {
    window->activateWindow();
    for (QElapsedTimer waited; !window->isActiveWindow();) {
        if (!waited.isValid()) {
            waited.start();
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        if (waited.elapsed() > 5000) {
            break;
        }
    }
    drain();
}

void placeCaretAtEnd(QPlainTextEdit* editor) {
    QTextCursor cursor(editor->document());
    cursor.movePosition(QTextCursor::End);
    editor->setTextCursor(cursor);
}

void selectAll(QPlainTextEdit* editor) {
    QTextCursor cursor(editor->document());
    cursor.select(QTextCursor::Document);
    editor->setTextCursor(cursor);
}

struct Row {
    const char* name;
    double quillon;
    double bare;
    double goal;
    int previewPaints;
};

int runChild(int argc, char* argv[]) {
    // As the program's main does.
    quillon::StartUpAhead ahead;
    QApplication application(argc, argv);
    QApplication::setApplicationName(u"Quillon"_s);
    QApplication::setStyle(QStyleFactory::create(u"Fusion"_s));
    // No caret blinks into a figure.
    QApplication::setCursorFlashTime(0);
    ahead.finishFonts();
    quillon::QuillonDesktopApp app(ahead.bundle(), ahead.takeConfiguration());
    quillon::MainWindow& window = app.showWindow();

    auto* view = window.findChild<quillon::EditorView*>();
    quillon::RichTextEditor* editor = view ? view->editor() : nullptr;
    auto* preview = view ? view->findChild<quillon::PreviewText*>(u"previewText"_s) : nullptr;
    XKeys keys;
    if (!editor || !preview || !keys.isReady()) {
        std::fprintf(stderr, "bench_editor: no editor, preview or X keyboard\n");
        return 1;
    }

    // The floor: a bare editor of the same font and width in a window as high as the app's.
    QPlainTextEdit bare;
    bare.setFont(quillon::font(quillon::TextStyle::body));
    bare.resize(editor->width(), window.height());
    bare.move(window.x(), window.y());
    bare.show();

    PaintWatch paints;
    paints.watch(editor->viewport());
    paints.watch(preview);
    paints.watch(bare.viewport());

    const int runs = quillon::testing::benchRuns(15);
    quillon::DraftStore& drafts = app.container().draftStore();
    std::vector<Row> rows;
    bool failed = false;
    const auto timed = [&](QWidget* painted, const std::function<void()>& act,
                           std::vector<double>& times) {
        const double ms = timeUntilPainted(paints, painted, act);
        if (ms < 0) {
            failed = true;
        }
        times.push_back(ms);
    };

    struct Keystroke {
        qsizetype length;
        const char* name;
        double goal;
    };
    for (const Keystroke& keystroke : {Keystroke{3'000, "keystroke at 3,000 characters", 3},
                                       Keystroke{10'000, "keystroke at 10,000 characters", 0},
                                       Keystroke{100'000, "keystroke at 100,000 characters", 6}}) {
        const QString text = quillon::bench::longPost(keystroke.length);
        drafts.setEditorText(text);
        bare.setPlainText(text);
        std::vector<double> quillon, floor, warm;
        int previewPaints = 0;
        activate(&window);
        editor->setFocus();
        placeCaretAtEnd(editor);
        // The first keys lay out what the new text left to do; they are not counted.
        for (int run = -2; run < runs && !failed; ++run) {
            timed(
                editor->viewport(), [&] { keys.click(&window, 'a'); }, run < 0 ? warm : quillon);
            if (run >= 0) {
                previewPaints += paints.count(preview);
            }
        }
        activate(&bare);
        bare.setFocus();
        placeCaretAtEnd(&bare);
        for (int run = -2; run < runs && !failed; ++run) {
            timed(
                bare.viewport(), [&] { keys.click(&bare, 'a'); }, run < 0 ? warm : floor);
        }
        if (drafts.editorText() != text + QString(runs + 2, u'a')) {
            std::fprintf(stderr, "bench_editor: the keys did not reach the post\n");
            failed = true;
        }
        rows.push_back(
            {keystroke.name, median(quillon), median(floor), keystroke.goal, previewPaints});
    }

    // Bold over the whole post with Ctrl+B; the bare editor puts the same text over the same
    // selection. Each run is undone before the next, untimed.
    const QString text = quillon::bench::longPost(100'000);
    drafts.setEditorText(text);
    bare.setPlainText(text);
    std::vector<double> bold, floor, settled;
    int previewPaints = 0;
    for (int run = -1; run < runs && !failed; ++run) {
        activate(&window);
        editor->setFocus();
        selectAll(editor);
        std::vector<double> warm;
        QElapsedTimer sinceKey;
        sinceKey.start();
        timed(
            editor->viewport(), [&] { keys.click(&window, 'b', XCB_MOD_MASK_CONTROL); },
            run < 0 ? warm : bold);
        // The preview lays the rest of its lines out while the loop is free, between keys.
        while (preview->isLayingOut()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents,
                                            50);
        }
        if (run >= 0) {
            settled.push_back(double(sinceKey.nsecsElapsed()) / 1e6);
        }
        if (run >= 0) {
            previewPaints += paints.count(preview);
        }
        const QString bolded = drafts.editorText();
        if (bolded == text || editor->text() != bolded) {
            std::fprintf(stderr, "bench_editor: Ctrl+B did not make the post bold\n");
            failed = true;
            break;
        }
        editor->undo();
        // Settled, so that no layout of the preview runs into the next figure.
        while (preview->isLayingOut()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents,
                                            50);
        }
        drain();
        if (drafts.editorText() != text) {
            std::fprintf(stderr, "bench_editor: undo did not bring the post back\n");
            failed = true;
            break;
        }
        activate(&bare);
        selectAll(&bare);
        timed(
            bare.viewport(), [&] { bare.textCursor().insertText(bolded); }, run < 0 ? warm : floor);
        bare.undo();
        drain();
    }
    rows.push_back(
        {"Bold over 100,000 characters", median(bold), median(floor), 10.0, previewPaints});
    if (failed) {
        return 1;
    }
    const double settledMs = median(settled);

    std::printf("editor on X, key event to painted and idle, medians of %d (ms):\n", runs);
    for (const Row& row : rows) {
        const double ratio = row.quillon / row.bare;
        char goal[32] = "";
        if (row.goal > 0) {
            std::snprintf(goal, sizeof goal, " (goal at most %.0f)", row.goal);
        }
        std::printf("editor: %-32s quillon %8.2f   bare %6.2f   ratio %6.2f%s   preview painted "
                    "%d of %d\n",
                    row.name, row.quillon, row.bare, ratio, goal, row.previewPaints, runs);
    }
    std::printf("editor: after Bold the preview has laid out every line in %.2f ms (median), a "
                "chunk at a time between keys\n",
                settledMs);
    return 0;
}

// Runs this program again on an X server of its own.
int runOnXvfb(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    const quillon::bench::XvfbServer xvfb(u"1280x1024x24"_s);
    if (xvfb.display().isEmpty()) {
        return 1;
    }
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"DISPLAY"_s, QString::fromLatin1(xvfb.display()));
    environment.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
    environment.insert(QString::fromLatin1(childVariable), u"1"_s);
    QProcess child;
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.start(QCoreApplication::applicationFilePath(), {});
    const bool finished = child.waitForFinished(-1);
    return finished && child.exitStatus() == QProcess::NormalExit ? child.exitCode() : 1;
}

} // namespace

int main(int argc, char* argv[]) {
    return qEnvironmentVariableIsSet(childVariable) ? runChild(argc, argv) : runOnXvfb(argc, argv);
}
