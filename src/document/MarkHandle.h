#pragma once

#include <QPointF>

namespace crel {

// Handles of a selected mark; never stored.
enum class MarkHandle { start, end, topLeft, topRight, bottomLeft, bottomRight, rotation };

// A handle and where it sits, in image pixels.
struct MarkHandlePoint {
  MarkHandle handle;
  QPointF point;
};

} // namespace crel
