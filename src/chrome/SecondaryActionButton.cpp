#include "SecondaryActionButton.h"

#include "ChromeColors.h"
#include "ChromeFonts.h"
#include "ChromeShape.h"
#include "GroupOpacity.h"

#include <QPainter>

namespace crel {

// The shadow and the capsule are one picture drawn at the button's opacity.
constexpr double disabledOpacity = 0.45;

SecondaryActionButton::SecondaryActionButton(const QString &text, QWidget *parent)
    : CapsuleActionButton(text, 0, parent) {
  restyle(ChromeFonts::font(13, QFont::Medium));
}

SurfaceShadow SecondaryActionButton::enabledShadow() const { return {ChromeColors::black(0.06), 3, {0, 1}}; }

std::optional<SurfaceShadow> SecondaryActionButton::disabledShadow() const {
  SurfaceShadow s = enabledShadow();
  s.color = ChromeColors::withAlpha(s.color, disabledOpacity);
  return s;
}

void SecondaryActionButton::paintEvent(QPaintEvent *) {
  QPainter widgetPainter(this);
  widgetPainter.setRenderHint(QPainter::Antialiasing);
  paintWithGroupOpacity(widgetPainter, rect(), opacity(disabledOpacity),
                        [this](QPainter &painter) { paintCapsule(painter); });
}

void SecondaryActionButton::paintCapsule(QPainter &painter) const {
  using namespace ChromeColors;
  const QRectF r = rect();
  const QPainterPath capsule = ChromeShape::path(r, std::nullopt);
  painter.fillPath(capsule, white(isHovered() ? 1.0 : 0.85));
  const double border = 0.75;
  painter.strokePath(ChromeShape::path(r.adjusted(border / 2, border / 2, -border / 2, -border / 2), std::nullopt),
                     QPen(black(0.1), border));
  drawLabel(painter, r, label());
  if (isDown())
    painter.fillPath(capsule, black(0.04));
}

} // namespace crel
