#pragma once

#include "SurfaceVariant.h"

#include <QRectF>

#include <optional>

class QPainter;
class QWidget;

namespace crel {

// A widget whose chrome shadow reaches past its own rectangle. A widget can
// paint only inside itself, so the shadow is painted by whatever lies under
// it: the parent, in its paintEvent before the children
// (paintChildShadows), or a ChromeShadowLayer placed under siblings.
class ShadowCaster {
public:
  struct Cast {
    QRectF shape; // in the caster's coordinates
    std::optional<double> cornerRadius;
    SurfaceShadow shadow;
  };
  virtual ~ShadowCaster() = default;
  // Nothing when the widget casts no shadow in its current state.
  virtual std::optional<Cast> castShadow() const = 0;

  // Paints the shadows of `parent`'s visible children that cast one.
  static void paintChildShadows(QPainter &painter, const QWidget &parent);
  // Paints `caster`'s shadow into `painter`, whose coordinates are those of
  // `surface` (an ancestor of the caster, or a widget of the same window).
  static void paintShadowOf(QPainter &painter, const QWidget &surface, const QWidget &caster);

protected:
  // Casters call this after their shadow changed: the parent and any shadow
  // layer repaint (via a dynamic property change they watch).
  static void shadowChanged(QWidget &self);
};

} // namespace crel
