#include "CapsuleActionButton.h"

#include "ChromeFonts.h"
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

namespace {
QFont trailingFont() { return ChromeFonts::font(10.5, QFont::Medium); }
constexpr double trailingGap = 6;
} // namespace

void CapsuleActionButton::setTrailingText(const QString &text) {
  if (trailing_ == text)
    return;
  trailing_ = text;
  updateGeometry();
  update();
}

double CapsuleActionButton::labelWidth() const {
  double width = QFontMetricsF(font()).horizontalAdvance(text());
  if (!trailing_.isEmpty())
    width += trailingGap + QFontMetricsF(trailingFont()).horizontalAdvance(trailing_);
  return width;
}

QSize CapsuleActionButton::sizeHint() const {
  const Metrics m = metrics();
  return {int(std::ceil(labelWidth() + 2 * m.padding)), int(m.height)};
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
  if (trailing_.isEmpty()) {
    painter.drawText(rect, Qt::AlignCenter | Qt::TextSingleLine, text());
    return;
  }
  const double label = QFontMetricsF(font()).horizontalAdvance(text());
  const QRectF main(rect.center().x() - labelWidth() / 2, rect.top(), label, rect.height());
  painter.drawText(main, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text());
  QColor faded = color;
  faded.setAlphaF(faded.alphaF() * 0.7f);
  painter.setPen(faded);
  painter.setFont(trailingFont());
  painter.drawText(QRectF(main.right() + trailingGap, rect.top(), rect.right() - main.right(), rect.height()),
                   Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, trailing_);
}

} // namespace crel
