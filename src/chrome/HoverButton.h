#pragma once

#include "AnimatedValue.h"

#include <QAbstractButton>

namespace crel {

// A custom-drawn button that keeps the chrome's hover flag: when the pointer
// enters, the flag becomes isEnabled() (a disabled button never turns
// hovered); when it leaves, false. Nothing else rewrites it, so a button
// disabled under the pointer keeps its hover look until the pointer leaves.
// hoverAmount() follows the flag from 0 to 1 over `hoverSeconds` (ease-out),
// or at once when that is 0 or motion is off. Like every control of the
// kit it takes no keyboard focus unless its window opts in (FocusRing).
class HoverButton : public QAbstractButton {
  Q_OBJECT
public:
  bool isHovered() const { return hovered_; }
  double hoverAmount() const { return hoverAmount_.value(); }

protected:
  HoverButton(double hoverSeconds, QWidget *parent);

  void enterEvent(QEnterEvent *event) override;
  void leaveEvent(QEvent *event) override;
  // Opacity of the whole control: 1 when enabled, `disabledOpacity` when not.
  double opacity(double disabledOpacity) const { return isEnabled() ? 1.0 : disabledOpacity; }

private:
  void setHovered(bool hovered);

  double hoverSeconds_;
  bool hovered_ = false;
  AnimatedValue hoverAmount_{0};
};

} // namespace crel
