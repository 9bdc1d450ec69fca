#pragma once

namespace crel::ImageLimits {

// The largest image the system takes from outside, in pixels (width ×
// height); exactly this is accepted.
inline constexpr double maxPixels = 80'000'000;
// The longest side, in pixels, of any image the system can save (the export
// refuses longer ones); exactly this is accepted.
inline constexpr int maxSide = 32'768;

} // namespace crel::ImageLimits
