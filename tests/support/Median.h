#pragma once

#include <algorithm>
#include <vector>

namespace quillon::testing {

// The benchmarks' figure: the middle of the runs, so one slow run does not move it.
inline double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

} // namespace quillon::testing
