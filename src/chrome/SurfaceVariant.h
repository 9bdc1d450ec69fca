#pragma once

#include <QColor>
#include <QPointF>

#include <optional>
#include <vector>

namespace crel {

// How a floating chrome surface is drawn. (A glass surface would need a
// compositor effect this platform does not have.)
enum class SurfaceVariant { opaque, material };

// Reduce Transparency or preview rendering give the opaque surface; else
// material.
SurfaceVariant chooseSurfaceVariant(bool reduceTransparency, bool previewRendering);

struct SurfaceStroke {
  QColor color;
  double width = 0;
  bool operator==(const SurfaceStroke &) const = default;
};

// A drop shadow: `radius` is the blur radius (Gaussian sigma = radius / 2).
struct SurfaceShadow {
  QColor color;
  double radius = 0;
  QPointF offset;
  bool operator==(const SurfaceShadow &) const = default;
};

// What one variant paints: a fill of the shape, hairlines over the content in
// order, and a shadow under the whole.
struct SurfaceLook {
  QColor fill;
  std::vector<SurfaceStroke> strokes;
  std::optional<SurfaceShadow> shadow;
  bool operator==(const SurfaceLook &) const = default;
};

// The material variant stands in for a blurred backdrop with a nearly opaque
// white (there is no backdrop blur on X11).
SurfaceLook surfaceLook(SurfaceVariant variant, bool reduceTransparency);

} // namespace crel
