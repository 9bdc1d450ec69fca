#pragma once

#include "FocusRing.h"

#include <QAbstractButton>

namespace crel {

// A text-only action ("Open Settings…" style links): the label in the brand's
// primary colour on a light palette, the palette's text colour on a dark one
// (the dark settings preview), at 0.7 opacity while pressed and faded while
// disabled, so an action that cannot run does not look like a link.
class BrandTextButton : public QAbstractButton, public FocusRing::Owner {
  Q_OBJECT
public:
  explicit BrandTextButton(const QString &text = {}, QWidget *parent = nullptr);

  static constexpr double disabledOpacity = 0.45;

  QColor labelColor() const;
  QSize sizeHint() const override;
  FocusRing::Shape focusRingShape() const override { return {QRectF(rect()).adjusted(-3, 0, 3, 0), 4.0}; }

protected:
  void changeEvent(QEvent *event) override;
  void paintEvent(QPaintEvent *event) override;
};

} // namespace crel
