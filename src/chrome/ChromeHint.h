#pragma once

#include <QRectF>
#include <QString>

#include <optional>

class QPainter;

namespace crel {

// A control's hover hint: its name, its keyboard shortcut when it has one
// (already in Linux notation, see ShortcutText), and the edge of the control
// the bubble hangs from (top-bar controls: bottom; bottom bar: top).
struct ChromeHint {
  enum class Edge { top, bottom };
  QString title;
  std::optional<QString> shortcut;
  Edge edge = Edge::bottom;
  bool operator==(const ChromeHint &) const = default;
};

// Where the bubble goes and how it looks. Pure functions, so placement is
// testable and the bubble renders headless.
namespace HintBubble {

// The half width the layer reserves when keeping a bubble inside the window:
// an estimate from the title's length, not the bubble's measured width.
double estimatedHalfWidth(const ChromeHint &hint);
// The bubble's centre for a control at `control` in a layer `layerWidth`
// wide: centred on the control, its half width (the estimate, or the
// measured one when wider) kept 8 inside either edge (the right edge wins
// when the layer is too narrow), 22 beyond the control's edge.
QPointF centre(const ChromeHint &hint, const QRectF &control, double layerWidth);
// The bubble's measured size: it never truncates its title, and wraps only
// a long one without a shortcut (a help text) at 320 points.
QSizeF size(const ChromeHint &hint);
// Paints the bubble (with its shadow) centred at `centre`.
void paint(QPainter &painter, QPointF centre, const ChromeHint &hint);

} // namespace HintBubble

} // namespace crel
