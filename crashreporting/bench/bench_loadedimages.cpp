// The cost of keeping a crash's list of loaded objects current: the once-a-second check for
// loads and unloads on the main thread, and a full reading and rendering when one happened.
// Goal: the check under 20 us. Prints the figures; asserts nothing.

#include "crashreporting/LoadedImages.h"

#include <QElapsedTimer>
#include <cstdio>

using quillon::LoadedImages;

int main() {
    constexpr int checks = 20000;
    QElapsedTimer timer;
    timer.start();
    std::uint64_t sum = 0;
    for (int i = 0; i < checks; ++i) {
        sum += LoadedImages::generation();
    }
    const double checkMicroseconds = timer.nsecsElapsed() / 1000.0 / checks;

    constexpr int readings = 200;
    qsizetype bytes = 0;
    qsizetype images = 0;
    timer.restart();
    for (int i = 0; i < readings; ++i) {
        const auto list = LoadedImages::collect();
        images = list.size();
        bytes = LoadedImages::debugMetaJson(list).size();
    }
    const double readingMicroseconds = timer.nsecsElapsed() / 1000.0 / readings;

    std::printf("check for loads (generation): %.2f us per call (%llu)\n", checkMicroseconds,
                static_cast<unsigned long long>(sum % 7));
    std::printf("read and render %lld objects: %.1f us, %lld bytes of debug_meta\n",
                static_cast<long long>(images), readingMicroseconds, static_cast<long long>(bytes));
    return 0;
}
