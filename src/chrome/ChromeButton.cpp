#include "ChromeButton.h"

#include "ChromeColors.h"
#include "ChromeShape.h"
#include "GroupOpacity.h"

#include <QPainter>

#include <cmath>

namespace crel {

ChromeButton::ChromeButton(QWidget *parent) : HoverButton(0.12, parent) {}

ChromeButton::ChromeButton(const QString &text, QWidget *parent) : ChromeButton(parent) { setText(text); }

void ChromeButton::setSelected(bool selected) {
  // A button that can be selected is a toggle to assistive technology,
  // checked while selected.
  setCheckable(true);
  setChecked(selected);
  if (selected_ == selected)
    return;
  selected_ = selected;
  update();
}

void ChromeButton::setDrawsSelection(bool draws) {
  drawsSelection_ = draws;
  update();
}

void ChromeButton::setCornerRadius(double radius) {
  cornerRadius_ = radius;
  update();
}

void ChromeButton::setContentPainter(ContentPainter painter) {
  content_ = std::move(painter);
  update();
}

std::optional<QColor> ChromeButton::fill(bool selected, bool drawsSelection, bool pressed, double hover) {
  if (selected && drawsSelection)
    return ChromeColors::withAlpha(ChromeColors::primary(), 0.13);
  if (pressed)
    return ChromeColors::black(0.1);
  if (hover > 0)
    return ChromeColors::black(0.055 * hover);
  return std::nullopt;
}

QColor ChromeButton::foreground() const { return selected_ ? ChromeColors::primary() : ChromeColors::label(); }

QSize ChromeButton::sizeHint() const {
  const QFontMetrics metrics(font());
  return {int(std::ceil(metrics.horizontalAdvance(text()))) + 20, std::max(28, metrics.height() + 10)};
}

bool ChromeButton::hitButton(const QPoint &pos) const {
  return ChromeShape::contains(rect(), cornerRadius_, QPointF(pos) + QPointF(0.5, 0.5));
}

void ChromeButton::paintEvent(QPaintEvent *) {
  QPainter widgetPainter(this);
  widgetPainter.setRenderHint(QPainter::Antialiasing);
  paintWithGroupOpacity(widgetPainter, rect(), opacity(0.3), [this](QPainter &painter) {
    if (const auto color = fill(selected_, drawsSelection_, isDown(), hoverAmount()))
      painter.fillPath(ChromeShape::path(rect(), cornerRadius_), *color);
    const QColor fg = foreground();
    if (content_) {
      content_(painter, rect(), fg);
      return;
    }
    painter.setPen(fg);
    painter.setFont(font());
    painter.drawText(rect(), Qt::AlignCenter | Qt::TextSingleLine, text());
  });
}

} // namespace crel
