#include "GroupOpacity.h"

#include <QImage>
#include <QPainter>

#include <cmath>

namespace crel {

void paintWithGroupOpacity(QPainter &painter, const QRect &rect, double opacity,
                           const std::function<void(QPainter &)> &draw) {
  if (opacity >= 1) {
    draw(painter);
    return;
  }
  const QTransform t = painter.deviceTransform();
  const double dpr = std::max(1.0, std::hypot(t.m11(), t.m12()));
  QImage layer(QSize(int(std::ceil(rect.width() * dpr)), int(std::ceil(rect.height() * dpr))),
               QImage::Format_ARGB32_Premultiplied);
  layer.setDevicePixelRatio(dpr);
  layer.fill(Qt::transparent);
  {
    QPainter p(&layer);
    p.setRenderHints(painter.renderHints());
    p.translate(-rect.topLeft());
    draw(p);
  }
  painter.save();
  painter.setOpacity(painter.opacity() * opacity);
  painter.drawImage(rect.topLeft(), layer);
  painter.restore();
}

} // namespace crel
