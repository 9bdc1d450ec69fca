#pragma once

#include "InspectorWidget.h"
#include "ProposalSized.h"

#include "chrome/ChromeSurface.h"

namespace crel {

class AccessibilityOptions;

// The bottom bar's middle group: the inspector's wide form when it fits the
// width the row offers, else the compact one, padded 8 at the sides on a
// capsule surface 40 high. Its accessible name is "<tool> options".
class InspectorGroup : public ChromeSurface, public ProposalSized {
  Q_OBJECT
public:
  static constexpr double height = 40, sidePadding = 8;

  InspectorGroup(CrelDocument &document, const InspectorHooks &hooks, QWidget *parent = nullptr,
                 AccessibilityOptions *options = nullptr);

  InspectorWidget *wide() const { return wide_; }
  InspectorWidget *compact() const { return compact_; }
  // The form on show.
  InspectorWidget *current() const;

  QSizeF sizeFor(std::optional<double> width, std::optional<double> height) const override;
  QSize sizeHint() const override;

protected:
  void paintEvent(QPaintEvent *event) override;
  void resizeEvent(QResizeEvent *event) override;

private:
  void place();
  double widthOf(const InspectorWidget *form) const;

  CrelDocument &document_;
  InspectorWidget *wide_, *compact_;
};

} // namespace crel
