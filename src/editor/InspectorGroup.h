#pragma once

#include "BarGroup.h"
#include "InspectorWidget.h"

#include "chrome/AnimatedValue.h"
#include "document/MarkTool.h"

#include <optional>

namespace crel {

// The bottom bar's middle group: the inspector's wide form when it fits the
// width the row offers, else the compact one, padded 8 at the sides. Its
// accessible name is "<tool> options". When the active tool changes, its
// capsule springs from the old width to the new one (response 0.2 s,
// damping 0.85) while the new content fades in; at once with motion off.
class InspectorGroup : public BarGroup {
  Q_OBJECT
public:
  static constexpr double sidePadding = 8;

  InspectorGroup(CrelDocument &document, const InspectorHooks &hooks, QWidget *parent = nullptr);

  InspectorWidget *wide() const { return wide_; }
  InspectorWidget *compact() const { return compact_; }
  // The form on show.
  InspectorWidget *current() const;
  // Whether the capsule is springing to a new width.
  bool isSpringing() const { return spring_.isMoving(); }

  void refresh(const CrelDocument &document) override;
  QSizeF sizeFor(std::optional<double> width, std::optional<double> height) const override;

protected:
  void paintEvent(QPaintEvent *event) override;
  void resizeEvent(QResizeEvent *event) override;

private:
  void contentChanged();
  void place();
  double widthOf(const InspectorWidget *form) const;

  CrelDocument &document_;
  InspectorWidget *wide_, *compact_;
  std::optional<MarkTool> shownTool_;
  // 0 to 1 from the width it had to the one it settles at.
  AnimatedValue spring_{1};
  double springFrom_ = 0;
  // The width the last proposal settles at.
  mutable std::optional<double> settledWidth_;
};

} // namespace crel
