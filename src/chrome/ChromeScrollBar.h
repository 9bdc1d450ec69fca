#pragma once

class QAbstractScrollArea;

namespace crel {

// The kit's scroll indicator for the application's scrolling windows: a slim
// rounded grey thumb on a clear track, without the style's arrow buttons or
// bevelled groove.
namespace ChromeScrollBar {

inline constexpr int width = 12;

void apply(QAbstractScrollArea &area);

} // namespace ChromeScrollBar

} // namespace crel
