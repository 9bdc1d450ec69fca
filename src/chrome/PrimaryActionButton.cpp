#include "PrimaryActionButton.h"

#include "ChromeColors.h"
#include "ChromeFonts.h"
#include "ChromeShape.h"
#include "GroupOpacity.h"

#include <QLinearGradient>
#include <QPainter>

namespace crel {

PrimaryActionButton::PrimaryActionButton(const QString &text, QWidget *parent)
    : CapsuleActionButton(text, 0.12, parent) {
  restyle(ChromeFonts::font(13, QFont::DemiBold));
}

void PrimaryActionButton::setCompact(bool compact) {
  if (compact_ == compact)
    return;
  compact_ = compact;
  restyle(ChromeFonts::font(compact ? 12 : 13, QFont::DemiBold));
}

CapsuleActionButton::Metrics PrimaryActionButton::metrics() const {
  return compact_ ? Metrics{11, 26} : Metrics{15, 32};
}

SurfaceShadow PrimaryActionButton::enabledShadow() const {
  return {ChromeColors::withAlpha(ChromeColors::primary(), 0.3), 7, {0, 2.5}};
}

void PrimaryActionButton::paintEvent(QPaintEvent *) {
  QPainter widgetPainter(this);
  widgetPainter.setRenderHint(QPainter::Antialiasing);
  paintWithGroupOpacity(widgetPainter, rect(), opacity(0.45), [this](QPainter &painter) { paintCapsule(painter); });
}

void PrimaryActionButton::paintCapsule(QPainter &painter) const {
  using namespace ChromeColors;
  const QRectF r = rect();
  if (isDown()) {
    painter.translate(r.center());
    painter.scale(0.975, 0.975);
    painter.translate(-r.center());
  }
  const QPainterPath capsule = ChromeShape::path(r, std::nullopt);
  painter.fillPath(capsule, primary());

  QLinearGradient sheen(r.topLeft(), QPointF(r.left(), r.center().y()));
  sheen.setColorAt(0, white(0.14 + 0.06 * hoverAmount()));
  sheen.setColorAt(1, white(0));
  painter.fillPath(capsule, sheen);

  const double border = 0.75;
  QLinearGradient rim(r.topLeft(), r.bottomLeft());
  rim.setColorAt(0, white(0.42));
  rim.setColorAt(1, white(0.06));
  const QRectF inner = r.adjusted(border / 2, border / 2, -border / 2, -border / 2);
  painter.strokePath(ChromeShape::path(inner, std::nullopt), QPen(QBrush(rim), border));

  paintLabel(painter, r);
  if (isDown())
    painter.fillPath(capsule, black(0.07));
}

void PrimaryActionButton::paintLabel(QPainter &painter, const QRectF &rect) const {
  drawLabel(painter, rect, Qt::white);
}

} // namespace crel
