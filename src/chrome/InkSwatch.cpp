#include "InkSwatch.h"

#include "ChromeColors.h"
#include "Symbols.h"

#include "platform/base/Translate.h"

#include <QConicalGradient>
#include <QPainter>

#include <cmath>

namespace crel {

namespace {

bool inCircle(const QWidget &w, const QPoint &pos) {
  const QPointF c = QRectF(w.rect()).center();
  const QPointF p = QPointF(pos) + QPointF(0.5, 0.5);
  return std::hypot(p.x() - c.x(), p.y() - c.y()) <= std::min(w.width(), w.height()) / 2.0;
}

QRectF square(const QWidget &w) {
  const double s = std::min(w.width(), w.height());
  return {(w.width() - s) / 2, (w.height() - s) / 2, s, s};
}

// A ring of `width` inside the circle of `frame`, and a disc inset by `inset`
// with its hairline.
void drawSwatch(QPainter &painter, const QRectF &frame, const QColor &ink, const QColor &ring, double ringAlpha,
                double inset) {
  if (ringAlpha > 0) {
    painter.setPen(QPen(ChromeColors::withAlpha(ring, ringAlpha), 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(frame.adjusted(1, 1, -1, -1));
  }
  const QRectF disc = frame.adjusted(inset, inset, -inset, -inset);
  painter.setPen(Qt::NoPen);
  painter.setBrush(ink);
  painter.drawEllipse(disc);
  painter.setPen(QPen(ChromeColors::black(0.14), 0.5));
  painter.setBrush(Qt::NoBrush);
  painter.drawEllipse(disc.adjusted(0.25, 0.25, -0.25, -0.25));
}

} // namespace

InkSwatch::InkSwatch(const QColor &color, const QString &name, QWidget *parent)
    : PlainPressButton(parent), color_(color) {
  setFixedSize(side, side);
  setToolTip(name);
  setAccessibleName(crel::tr("%1 ink").arg(name));
  setCheckable(true); // checked while selected, for assistive technology
  connect(&selection_, &AnimatedValue::changed, this, qOverload<>(&QWidget::update));
}

bool InkSwatch::isVeryLight(double red, double green, double blue) {
  return 0.2126 * red + 0.7152 * green + 0.0722 * blue > 0.82;
}

bool InkSwatch::isVeryLight(const QColor &color) {
  const QColor c = color.toRgb();
  return isVeryLight(c.redF(), c.greenF(), c.blueF());
}

QColor InkSwatch::ringColor(const QColor &ink) { return isVeryLight(ink) ? ChromeColors::black(0.28) : ink; }

void InkSwatch::setSelected(bool selected) {
  if (selected_ == selected)
    return;
  selected_ = selected;
  setChecked(selected);
  selection_.animateTo(selected ? 1 : 0, 0.25, QEasingCurve::OutCubic);
}

bool InkSwatch::hitButton(const QPoint &pos) const { return inCircle(*this, pos); }

void InkSwatch::paintContent(QPainter &painter) {
  const double s = selection_.value();
  drawSwatch(painter, square(*this), color_, ringColor(color_), s, 4 + s);
}

CustomInkSwatch::CustomInkSwatch(QWidget *parent) : PlainPressButton(parent) {
  setFixedSize(InkSwatch::side, InkSwatch::side);
  setToolTip(crel::tr("Choose any color"));
  setAccessibleName(crel::tr("Custom ink color"));
  setObjectName(QStringLiteral("custom-ink"));
}

void CustomInkSwatch::setCurrent(std::optional<QColor> color) {
  current_ = color;
  update();
}

bool CustomInkSwatch::hitButton(const QPoint &pos) const { return inCircle(*this, pos); }

void CustomInkSwatch::paintContent(QPainter &painter) {
  const QRectF frame = square(*this);
  if (current_) {
    drawSwatch(painter, frame, *current_, *current_, 1, 5);
    return;
  }
  // Qt's conical gradient runs counter-clockwise from three o'clock; the
  // stops are listed backwards so the hues go round clockwise.
  QConicalGradient rainbow(frame.center(), 0);
  const QColor hues[] = {QColor(0xFF, 0x3B, 0x30), QColor(0xFF, 0xCC, 0x00), QColor(0x34, 0xC7, 0x59),
                         QColor(0x32, 0xD2, 0xE6), QColor(0x00, 0x7A, 0xFF), QColor(0xAF, 0x52, 0xDE),
                         QColor(0xFF, 0x3B, 0x30)};
  for (int i = 0; i < 7; ++i)
    rainbow.setColorAt(1 - i / 6.0, hues[i]);
  painter.setPen(Qt::NoPen);
  painter.setBrush(rainbow);
  painter.drawEllipse(frame.adjusted(4, 4, -4, -4));
  painter.setBrush(Qt::white);
  painter.drawEllipse(frame.adjusted(9, 9, -9, -9));
  Symbols::paint(painter, QStringLiteral("plus"), frame, 7, QFont::Black, ChromeColors::secondaryLabel());
}

} // namespace crel
