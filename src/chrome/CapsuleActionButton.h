#pragma once

#include "FocusRing.h"
#include "HoverButton.h"
#include "ShadowCaster.h"

namespace crel {

// What the two action buttons share: a capsule that is also the hit area, a
// one-line label that never wraps (the button grows instead), a fixed height
// and side padding, a shadow cast past the widget, darkening while pressed,
// and 0.45 opacity when disabled (the shadow fading with it). The shadow is
// painted by what lies under the button (see ShadowCaster).
class CapsuleActionButton : public HoverButton, public ShadowCaster, public FocusRing::Owner {
  Q_OBJECT
public:
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override { return sizeHint(); }
  std::optional<Cast> castShadow() const override;
  FocusRing::Shape focusRingShape() const override { return {rect(), std::nullopt}; }
  // A note after the label, such as a shortcut: 10.5 medium at 0.7 opacity,
  // 6 after the label; the two are centred together.
  QString trailingText() const { return trailing_; }
  void setTrailingText(const QString &text);
  // A symbol (Symbols) before the label, in the label's colour, 6 before it.
  QString symbol() const { return symbol_; }
  void setSymbol(const QString &name);

protected:
  CapsuleActionButton(const QString &text, double hoverSeconds, QWidget *parent);

  struct Metrics {
    double padding, height;
  };
  virtual Metrics metrics() const = 0;
  // The shadow while enabled; disabled buttons draw it at their opacity,
  // or not at all where the subclass says so.
  virtual SurfaceShadow enabledShadow() const = 0;
  virtual std::optional<SurfaceShadow> disabledShadow() const = 0;
  // Sets the font and re-reads metrics and shadow after a style change.
  void restyle(const QFont &font);

  void changeEvent(QEvent *event) override;
  void moveEvent(QMoveEvent *event) override;
  void resizeEvent(QResizeEvent *event) override;
  bool hitButton(const QPoint &pos) const override;
  // The label, centred in `rect`, in `color`.
  void drawLabel(QPainter &painter, const QRectF &rect, const QColor &color) const;

private:
  double labelWidth() const;
  double symbolWidth() const;
  QString trailing_;
  QString symbol_;
};

} // namespace crel
