#pragma once

#include <QElapsedTimer>
#include <algorithm>
#include <vector>

namespace quillon::bench {

struct Figure {
    double medianMs;
    double bestMs;
    double worstMs;
};

// Runs the work `runs` times; the median is the figure, best and worst show the spread.
template <typename Work> Figure measure(Work work, int runs = 21) {
    std::vector<double> times;
    times.reserve(runs);
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return {times[times.size() / 2], times.front(), times.back()};
}

} // namespace quillon::bench
