#include "BrandTextButton.h"

#include "ChromeColors.h"

#include <QEvent>
#include <QPainter>

#include <cmath>

namespace crel {

BrandTextButton::BrandTextButton(const QString &text, QWidget *parent) : QAbstractButton(parent) {
  setText(text);
  setCursor(Qt::PointingHandCursor);
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  setFocusPolicy(Qt::NoFocus);
}

QColor BrandTextButton::labelColor() const {
  const bool dark = palette().color(QPalette::Window).lightnessF() < 0.5;
  return dark ? palette().color(QPalette::WindowText) : ChromeColors::primary();
}

QSize BrandTextButton::sizeHint() const {
  const QFontMetricsF metrics(font());
  return {int(std::ceil(metrics.horizontalAdvance(text()))) + 2, int(std::ceil(metrics.height()))};
}

void BrandTextButton::changeEvent(QEvent *event) {
  QAbstractButton::changeEvent(event);
  if (event->type() == QEvent::EnabledChange)
    setCursor(isEnabled() ? Qt::PointingHandCursor : Qt::ArrowCursor);
}

void BrandTextButton::paintEvent(QPaintEvent *) {
  QPainter painter(this);
  painter.setOpacity(!isEnabled() ? disabledOpacity : isDown() ? 0.7 : 1.0);
  painter.setPen(labelColor());
  painter.drawText(rect(), Qt::AlignCenter | Qt::TextSingleLine, text());
}

} // namespace crel
