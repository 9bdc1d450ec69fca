#pragma once

#include "AnimatedValue.h"
#include "PlainPressButton.h"

#include <optional>

namespace crel {

// One ink of the inspector's palette: a 25-point round button (only the
// circle is the hit area) showing the ink as a disc, 17 across, with a
// hairline; selected, the disc shrinks to 15 inside a 2-wide ring of the
// ink's own colour, or of black at 0.28 for a very light ink that would
// vanish on the light chrome. Tooltip: the ink's name; accessible name
// "<name> ink"; the selection is its checked state, which a click leaves to
// the owner.
class InkSwatch : public PlainPressButton {
  Q_OBJECT
public:
  InkSwatch(const QColor &color, const QString &name, QWidget *parent = nullptr);

  static constexpr int side = 25;
  // Relative luminance 0.2126 r + 0.7152 g + 0.0722 b above 0.82
  // (strictly), from sRGB components 0 to 1.
  static bool isVeryLight(double red, double green, double blue);
  static bool isVeryLight(const QColor &color);
  static QColor ringColor(const QColor &ink);

  QColor color() const { return color_; }
  bool isSelected() const { return selected_; }
  void setSelected(bool selected);
  QSize sizeHint() const override { return {side, side}; }

protected:
  void paintContent(QPainter &painter) override;
  bool hitButton(const QPoint &pos) const override;
  void nextCheckState() override {}

private:
  QColor color_;
  bool selected_ = false;
  AnimatedValue selection_{0};
};

// The palette's last swatch, which opens the colour chooser: the custom
// colour as a selected swatch (ringed in its own colour, however light), or
// without one a rainbow ring around a white centre with a small plus.
class CustomInkSwatch : public PlainPressButton {
  Q_OBJECT
public:
  explicit CustomInkSwatch(QWidget *parent = nullptr);

  std::optional<QColor> current() const { return current_; }
  void setCurrent(std::optional<QColor> color);
  QSize sizeHint() const override { return {InkSwatch::side, InkSwatch::side}; }

protected:
  void paintContent(QPainter &painter) override;
  bool hitButton(const QPoint &pos) const override;

private:
  std::optional<QColor> current_;
};

} // namespace crel
