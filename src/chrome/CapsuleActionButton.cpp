#include "CapsuleActionButton.h"

#include "ChromeFonts.h"
#include "ChromeShape.h"
#include "Symbols.h"

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
constexpr double trailingGap = 6, symbolGap = 6;
} // namespace

void CapsuleActionButton::setTrailingText(const QString &text) {
  if (trailing_ == text)
    return;
  trailing_ = text;
  updateGeometry();
  update();
}

void CapsuleActionButton::setSymbol(const QString &name) {
  if (symbol_ == name)
    return;
  symbol_ = name;
  updateGeometry();
  update();
}

double CapsuleActionButton::symbolWidth() const {
  return symbol_.isEmpty()
             ? 0
             : Symbols::boxSide(font().pixelSize() > 0 ? font().pixelSize() : font().pointSizeF()) + symbolGap;
}

double CapsuleActionButton::labelWidth() const {
  double width = symbolWidth() + QFontMetricsF(font()).horizontalAdvance(text());
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
  const double symbol = symbolWidth();
  if (trailing_.isEmpty() && symbol == 0) {
    painter.drawText(rect, Qt::AlignCenter | Qt::TextSingleLine, text());
    return;
  }
  const double label = QFontMetricsF(font()).horizontalAdvance(text());
  const double left = rect.center().x() - labelWidth() / 2;
  if (symbol > 0) {
    const double size = font().pixelSize() > 0 ? font().pixelSize() : font().pointSizeF();
    const double side = Symbols::boxSide(size);
    Symbols::paint(painter, symbol_, QRectF(left, rect.center().y() - side / 2, side, side), size,
                   QFont::Weight(font().weight()), color);
    painter.setPen(color);
    painter.setFont(font());
  }
  const QRectF main(left + symbol, rect.top(), label, rect.height());
  if (trailing_.isEmpty()) {
    painter.drawText(main, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text());
    return;
  }
  painter.drawText(main, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text());
  QColor faded = color;
  faded.setAlphaF(faded.alphaF() * 0.7f);
  painter.setPen(faded);
  painter.setFont(trailingFont());
  painter.drawText(QRectF(main.right() + trailingGap, rect.top(), rect.right() - main.right(), rect.height()),
                   Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, trailing_);
}

} // namespace crel
