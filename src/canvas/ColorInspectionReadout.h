#pragma once

#include "chrome/ChromeSurface.h"

#include <QPointer>

namespace crel {

class AccessibilityOptions;
class ColorInspection;

// The floating readout of the colour under the pointer: a swatch, the hex
// text and either "Copied" or how to copy, on the bars' chrome surface with
// rounded corners, so it turns opaque with them. Hidden while the
// inspection has no sample. Its shadow falls outside it: its owner paints it
// (see ShadowCaster).
class ColorInspectionReadout : public ChromeSurface {
  Q_OBJECT
public:
  static constexpr double cornerRadius = 10;

  // Without `options`, the process's.
  explicit ColorInspectionReadout(ColorInspection &inspection, QWidget *parent = nullptr,
                                  AccessibilityOptions *options = nullptr);

  QSize sizeHint() const override;
  // The second line as shown now.
  QString detailText() const;

protected:
  void paintEvent(QPaintEvent *event) override;

private:
  void refresh();

  QPointer<ColorInspection> inspection_;
};

} // namespace crel
