#pragma once

#include "CapsuleActionButton.h"

namespace crel {

// The one prominent action of a surface: a primary capsule with a white
// label (semibold 13, or 12 when compact), 32 high with 15 of side padding
// (26 and 11 when compact), a top sheen (white 0.14, 0.2 when hovered,
// fading out at the middle), a light inner border, and a primary-tinted
// shadow (none when disabled). Pressed: darker and scaled to 0.975.
class PrimaryActionButton : public CapsuleActionButton {
  Q_OBJECT
public:
  explicit PrimaryActionButton(const QString &text = {}, QWidget *parent = nullptr);

  bool isCompact() const { return compact_; }
  void setCompact(bool compact);

protected:
  Metrics metrics() const override;
  SurfaceShadow enabledShadow() const override;
  std::optional<SurfaceShadow> disabledShadow() const override { return std::nullopt; }
  void paintEvent(QPaintEvent *event) override;
  // The label over the capsule, in white; a subclass with richer content
  // draws it here, so it scales with the pressed capsule.
  virtual void paintLabel(QPainter &painter, const QRectF &rect) const;

private:
  void paintCapsule(QPainter &painter) const;
  bool compact_ = false;
};

} // namespace crel
