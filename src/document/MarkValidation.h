#pragma once

#include "Mark.h"

namespace crel::MarkValidation {

// Limits a mark read from outside must keep: finite numbers, coordinates
// that an export can reach, and sizes within what the tools make, so that
// no stored value leads to an enormous allocation.
inline constexpr double maxCoordinate = 32'768;
inline constexpr double maxWidth = 1'024;
inline constexpr double maxFontSize = 1'024;
inline constexpr double maxArrowHeadScale = 16;
inline constexpr double maxBlurStrength = 256;
inline constexpr qsizetype maxPoints = 100'000;

// Throws JsonDecodingError naming the first field out of its limits.
void check(const Mark &mark);

// Throws JsonDecodingError when `expanded` (the canvas grown around an image
// for its marks) would exceed 80 megapixels or the export's side limit.
void checkCanvas(const geom::Rect &expanded);

} // namespace crel::MarkValidation
