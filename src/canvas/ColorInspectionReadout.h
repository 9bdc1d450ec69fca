#pragma once

#include <QPointer>
#include <QWidget>

namespace crel {

class ColorInspection;

// The floating readout of the colour under the pointer: a swatch, the hex
// text and either "Copied" or how to copy, on a rounded chrome surface.
// Hidden while the inspection has no sample.
class ColorInspectionReadout : public QWidget {
  Q_OBJECT
public:
  static constexpr double cornerRadius = 10;

  explicit ColorInspectionReadout(ColorInspection &inspection, QWidget *parent = nullptr);

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
