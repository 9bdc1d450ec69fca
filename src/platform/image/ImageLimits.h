#pragma once

namespace crel::ImageLimits {

// The largest image the system takes from outside, in pixels (width ×
// height); exactly this is accepted.
inline constexpr double maxPixels = 80'000'000;

} // namespace crel::ImageLimits
