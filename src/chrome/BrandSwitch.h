#pragma once

#include "AnimatedValue.h"
#include "FocusRing.h"

#include <QCheckBox>

namespace crel {

// An on/off switch drawn as a row: the label, then at least 8 of space, then
// a 34 by 20 track (primary when on, black at 0.12 when off) at the trailing
// edge with a white knob. The whole row is the hit area, so clicking the
// label toggles it; disabled it does nothing and draws at 0.45. It stays a
// QCheckBox, so assistive technologies see a standard toggle.
class BrandSwitch : public QCheckBox, public FocusRing::Owner {
  Q_OBJECT
public:
  explicit BrandSwitch(const QString &text = {}, QWidget *parent = nullptr);

  static constexpr double trackWidth = 34, trackHeight = 20, knobInset = 2;
  // Label to spacer and spacer to track are 10 apart; the spacer is at least 8.
  static constexpr double minimumGap = 10 + 8 + 10;

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override { return sizeHint(); }
  // The track's rectangle within the widget.
  QRectF trackRect() const;
  FocusRing::Shape focusRingShape() const override { return {trackRect(), std::nullopt}; }

protected:
  void paintEvent(QPaintEvent *event) override;
  bool hitButton(const QPoint &pos) const override;
  void checkStateSet() override;
  void nextCheckState() override;

private:
  void paintRow(QPainter &painter) const;
  AnimatedValue knob_{0};
};

} // namespace crel
