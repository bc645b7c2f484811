#pragma once

#include <QtGlobal>
#include <algorithm>
#include <vector>

namespace quillon::testing {

// The benchmarks' figure: the middle of the runs, so one slow run does not move it.
inline double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// How many runs a benchmark makes: QUILLON_BENCH_RUNS where it is a positive number, else
// `fallback`.
inline int benchRuns(int fallback) {
    const int runs = qEnvironmentVariableIntValue("QUILLON_BENCH_RUNS");
    return runs > 0 ? runs : fallback;
}

} // namespace quillon::testing
