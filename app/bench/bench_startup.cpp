// Start-up to the shown window, in-process on the offscreen platform, with the bundle of the
// build tree. Prints the figures; asserts nothing.
#include "app/QuillonDesktopApp.h"
#include "app/StartUpAhead.h"
#include "ui/window/MainWindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTest>
#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

bool mapped(const char* library) {
    QFile maps(u"/proc/self/maps"_s);
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains(library);
}

} // namespace

int main(int argc, char* argv[]) {
    QElapsedTimer total;
    total.start();
    // As the program's main does.
    quillon::StartUpAhead ahead;
    QApplication application(argc, argv);
    const qint64 applicationReady = total.nsecsElapsed();

    QElapsedTimer startUp;
    startUp.start();
    ahead.finishFonts();
    quillon::QuillonDesktopApp app(ahead.bundle(), ahead.takeConfiguration());
    const qint64 containerReady = startUp.nsecsElapsed();
    quillon::MainWindow& window = app.showWindow();
    if (!QTest::qWaitForWindowExposed(&window)) {
        std::fprintf(stderr, "the window was not shown\n");
        return 1;
    }
    const qint64 shown = startUp.nsecsElapsed();

    std::printf("start-up: QApplication created          %8.2f ms\n", applicationReady / 1e6);
    std::printf("start-up: fonts and container           %8.2f ms\n", containerReady / 1e6);
    std::printf("start-up: fonts to shown window         %8.2f ms\n", shown / 1e6);
    std::printf("start-up: process start to shown window %8.2f ms (since main)\n",
                total.nsecsElapsed() / 1e6);
    // Mapping the library is cheap; what must not happen before the window is its start.
    std::printf("start-up: web engine library mapped     %s\n",
                mapped("libQt6WebEngineCore") ? "yes" : "no");
    return 0;
}
