#pragma once

#include "BarGroup.h"
#include "InspectorWidget.h"

namespace crel {

// The bottom bar's middle group: the inspector's wide form when it fits the
// width the row offers, else the compact one, padded 8 at the sides. Its
// accessible name is "<tool> options".
class InspectorGroup : public BarGroup {
  Q_OBJECT
public:
  static constexpr double sidePadding = 8;

  InspectorGroup(CrelDocument &document, const InspectorHooks &hooks, QWidget *parent = nullptr);

  InspectorWidget *wide() const { return wide_; }
  InspectorWidget *compact() const { return compact_; }
  // The form on show.
  InspectorWidget *current() const;

  void refresh(const CrelDocument &document) override;

protected:
  void paintEvent(QPaintEvent *event) override;
  void resizeEvent(QResizeEvent *event) override;

private:
  void contentChanged();
  void place();
  double widthOf(const InspectorWidget *form) const;

  CrelDocument &document_;
  InspectorWidget *wide_, *compact_;
};

} // namespace crel
