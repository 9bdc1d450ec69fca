#include "ChromeSurfacePainter.h"

#include "ChromeShape.h"
#include "ShadowCache.h"

#include <QPainter>

#include <algorithm>

namespace crel::ChromeSurfacePainter {

void paintShadow(QPainter &painter, const QRectF &rect, std::optional<double> cornerRadius, const SurfaceLook &look) {
  if (look.shadow)
    ShadowCache::shared().draw(painter, rect, cornerRadius, *look.shadow);
}

void paintFill(QPainter &painter, const QRectF &rect, std::optional<double> cornerRadius, const SurfaceLook &look) {
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  painter.fillPath(ChromeShape::path(rect, cornerRadius), look.fill);
  painter.restore();
}

void paintStrokes(QPainter &painter, const QRectF &rect, std::optional<double> cornerRadius, const SurfaceLook &look) {
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setBrush(Qt::NoBrush);
  const double radius = ChromeShape::effectiveRadius(rect, cornerRadius);
  for (const SurfaceStroke &stroke : look.strokes) {
    const double inset = stroke.width / 2;
    QPen pen(stroke.color, stroke.width, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
    pen.setMiterLimit(10);
    painter.setPen(pen);
    const double r = std::max(0.0, radius - inset);
    painter.drawRoundedRect(rect.adjusted(inset, inset, -inset, -inset), r, r);
  }
  painter.restore();
}

void paint(QPainter &painter, const QRectF &rect, std::optional<double> cornerRadius, const SurfaceLook &look) {
  paintShadow(painter, rect, cornerRadius, look);
  paintFill(painter, rect, cornerRadius, look);
  paintStrokes(painter, rect, cornerRadius, look);
}

} // namespace crel::ChromeSurfacePainter
