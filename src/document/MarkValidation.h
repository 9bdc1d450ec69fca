#pragma once

#include "Mark.h"

namespace crel::MarkValidation {

// The one set of limits every mark keeps, made here or read from outside.
// The document clamps each commit to them (clamped()), so any state the
// editor reaches, undone or not, reads back unchanged; a stored mark beyond
// them cannot come from us and is refused (check()). They are wide enough
// for anything a gesture makes on a real canvas and keep outside data from
// non-finite numbers and enormous allocations.
inline constexpr double maxCoordinate = 1'000'000;
// Widths and text boxes: an arrow's width follows its length, a step's its
// corner, so both may span the whole plane.
inline constexpr double maxWidth = 2 * maxCoordinate;
inline constexpr double maxFontSize = 1'024;
inline constexpr double maxArrowHeadScale = 16;
inline constexpr double maxBlurStrength = 256;
inline constexpr qsizetype maxPoints = 1'000'000;

// Whether `value` is a finite number from `low` to `high`.
inline bool within(double value, double low, double high) { return value >= low && value <= high; }
// Whether an ink's components are all from 0 to 1.
bool inkAllowed(const Ink &ink);

// Throws JsonDecodingError naming the first field out of its limits.
void check(const Mark &mark);

// Whether `mark` keeps every limit.
bool withinLimits(const Mark &mark);

// `mark` brought within the limits with as little change as possible: moved
// back inside the coordinate range as a whole (cut only where it is larger
// than the range), sizes cut to their maximum, a longer freehand line thinned
// evenly and surplus word regions dropped. Non-finite numbers are left as
// they are; nothing the editor makes has them.
Mark clamped(const Mark &mark);

// `mark` with only its sizes cut as clamped() cuts them; its coordinates
// and lists are left as they are. For readers of a mark's settings, which
// need not pay for a walk over every point.
Mark withSettingsClamped(Mark mark);

// Throws JsonDecodingError when `expanded` (the canvas grown around an image
// for its marks) would exceed 80 megapixels or the export's side limit.
void checkCanvas(const geom::Rect &expanded);

} // namespace crel::MarkValidation
