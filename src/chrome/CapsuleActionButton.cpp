#include "CapsuleActionButton.h"

#include "ChromeShape.h"

#include <QEvent>
#include <QPainter>

#include <cmath>

namespace crel {

CapsuleActionButton::CapsuleActionButton(const QString &text, double hoverSeconds, QWidget *parent)
    : HoverButton(hoverSeconds, parent) {
  setText(text);
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void CapsuleActionButton::restyle(const QFont &font) {
  setFont(font);
  shadowChanged(*this);
  updateGeometry();
  update();
}

QSize CapsuleActionButton::sizeHint() const {
  const Metrics m = metrics();
  const double label = QFontMetricsF(font()).horizontalAdvance(text());
  return {int(std::ceil(label + 2 * m.padding)), int(m.height)};
}

void CapsuleActionButton::changeEvent(QEvent *event) {
  if (event->type() == QEvent::EnabledChange)
    shadowChanged(*this);
  HoverButton::changeEvent(event);
}

void CapsuleActionButton::moveEvent(QMoveEvent *) { shadowChanged(*this); }
void CapsuleActionButton::resizeEvent(QResizeEvent *) { shadowChanged(*this); }

std::optional<ShadowCaster::Cast> CapsuleActionButton::castShadow() const {
  const auto shadow = isEnabled() ? std::optional(enabledShadow()) : disabledShadow();
  if (!shadow)
    return std::nullopt;
  return Cast{rect(), std::nullopt, *shadow};
}

bool CapsuleActionButton::hitButton(const QPoint &pos) const {
  return ChromeShape::contains(rect(), std::nullopt, QPointF(pos) + QPointF(0.5, 0.5));
}

void CapsuleActionButton::drawLabel(QPainter &painter, const QRectF &rect, const QColor &color) const {
  painter.setPen(color);
  painter.setFont(font());
  painter.drawText(rect, Qt::AlignCenter | Qt::TextSingleLine, text());
}

} // namespace crel
