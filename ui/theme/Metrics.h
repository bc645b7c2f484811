#pragma once

namespace quillon::Metrics {

// The platform's standard padding around a pane's content and beside list rows.
inline constexpr int defaultPadding = 16;
// Cards, previews and action buttons share one corner radius.
inline constexpr double cornerRadius = 8;
// Strokes and divider lines are the ink at this opacity.
inline constexpr double hairlineOpacity = 0.12;

} // namespace quillon::Metrics
