#pragma once

#include "CapsuleActionButton.h"

namespace crel {

// The neutral action beside a primary one: a white capsule (0.85, opaque when
// hovered) with a thin dark border and a faint shadow, medium 13 label in the
// label colour, 32 high with 15 of side padding; darker while pressed.
class SecondaryActionButton : public CapsuleActionButton {
  Q_OBJECT
public:
  explicit SecondaryActionButton(const QString &text = {}, QWidget *parent = nullptr);

protected:
  Metrics metrics() const override { return {15, 32}; }
  SurfaceShadow enabledShadow() const override;
  std::optional<SurfaceShadow> disabledShadow() const override;
  void paintEvent(QPaintEvent *event) override;

private:
  void paintCapsule(QPainter &painter) const;
};

} // namespace crel
