#include "BrandSwitch.h"

#include "ChromeColors.h"
#include "ChromeShape.h"
#include "GroupOpacity.h"
#include "ShadowCache.h"

#include <QPainter>

#include <cmath>

namespace crel {

BrandSwitch::BrandSwitch(const QString &text, QWidget *parent) : QCheckBox(text, parent) {
  setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
  setFocusPolicy(Qt::NoFocus);
  connect(&knob_, &AnimatedValue::changed, this, qOverload<>(&QWidget::update));
}

QSize BrandSwitch::sizeHint() const {
  const QFontMetricsF metrics(font());
  const double label = text().isEmpty() ? 0 : metrics.horizontalAdvance(text()) + minimumGap;
  return {int(std::ceil(label + trackWidth)), int(std::ceil(std::max(trackHeight, metrics.height())))};
}

QRectF BrandSwitch::trackRect() const {
  return {width() - trackWidth, (height() - trackHeight) / 2, trackWidth, trackHeight};
}

bool BrandSwitch::hitButton(const QPoint &pos) const { return rect().contains(pos); }

// The knob follows every change of the state, by click or by code, with a
// short, nearly critically damped spring.
void BrandSwitch::checkStateSet() {
  QCheckBox::checkStateSet();
  knob_.animateTo(isChecked() ? 1 : 0, 0.18 * 1.5, QEasingCurve::OutCubic);
}

void BrandSwitch::nextCheckState() {
  QCheckBox::nextCheckState();
  knob_.animateTo(isChecked() ? 1 : 0, 0.18 * 1.5, QEasingCurve::OutCubic);
}

void BrandSwitch::paintEvent(QPaintEvent *) {
  QPainter widgetPainter(this);
  widgetPainter.setRenderHint(QPainter::Antialiasing);
  paintWithGroupOpacity(widgetPainter, rect(), isEnabled() ? 1.0 : 0.45,
                        [this](QPainter &painter) { paintRow(painter); });
}

void BrandSwitch::paintRow(QPainter &painter) const {
  using namespace ChromeColors;
  if (!text().isEmpty()) {
    painter.setPen(label(palette()));
    painter.setFont(font());
    const QRectF labelRect(0, 0, width() - trackWidth - minimumGap, height());
    painter.drawText(labelRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                     QFontMetricsF(font()).elidedText(text(), Qt::ElideRight, labelRect.width()));
  }
  const QRectF track = trackRect();
  const double on = knob_.value();
  // The track's colour crosses over with the knob.
  const QColor off = black(0.12), lit = primary().toRgb();
  auto mix = [on](float a, float b) { return float(a + (b - a) * on); };
  const QColor fill = QColor::fromRgbF(mix(off.redF(), lit.redF()), mix(off.greenF(), lit.greenF()),
                                       mix(off.blueF(), lit.blueF()), mix(off.alphaF(), lit.alphaF()));
  painter.fillPath(ChromeShape::path(track, std::nullopt), fill);

  const double d = trackHeight - 2 * knobInset;
  const QRectF knob(track.left() + knobInset + on * (trackWidth - trackHeight), track.top() + knobInset, d, d);
  ShadowCache::shared().draw(painter, knob, std::nullopt, SurfaceShadow{black(0.25), 1, {0, 0.5}});
  painter.setPen(Qt::NoPen);
  painter.setBrush(Qt::white);
  painter.drawEllipse(knob);
}

} // namespace crel
