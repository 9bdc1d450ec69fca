#pragma once

#include "HoverButton.h"

#include <functional>
#include <optional>

namespace crel {

// The icon and text buttons of the bars and the inspector: no bezel, a
// rounded fill that shows selection, press and hover, in that precedence:
//   selected and drawing its selection: primary at 0.13
//   pressed:                            black at 0.1
//   hovered:                            black at 0.055 (fades in over 0.12 s)
// The label is primary when selected, else the label colour. Only the
// rounded outline is the hit area. Disabled, the whole is drawn at 0.3.
// The caller sizes the button and supplies its font; the content is the text,
// or whatever the content painter draws in the foreground colour.
class ChromeButton : public HoverButton {
  Q_OBJECT
public:
  using ContentPainter = std::function<void(QPainter &painter, const QRectF &rect, const QColor &foreground)>;

  explicit ChromeButton(QWidget *parent = nullptr);
  explicit ChromeButton(const QString &text, QWidget *parent = nullptr);

  bool isSelected() const { return selected_; }
  // Also the accessible checked state; a click leaves it to the owner.
  void setSelected(bool selected);
  bool drawsSelection() const { return drawsSelection_; }
  // False when the caller draws the selection itself (a sliding highlight):
  // the label still turns primary, press and hover fills still show.
  void setDrawsSelection(bool draws);
  double cornerRadius() const { return cornerRadius_; }
  void setCornerRadius(double radius);
  void setContentPainter(ContentPainter painter);

  // The fill behind the label for a state; nothing when transparent.
  // `hover` is the hover amount (0 to 1).
  static std::optional<QColor> fill(bool selected, bool drawsSelection, bool pressed, double hover);
  QColor foreground() const;

  QSize sizeHint() const override;

protected:
  void paintEvent(QPaintEvent *event) override;
  bool hitButton(const QPoint &pos) const override;
  void nextCheckState() override {}

private:
  bool selected_ = false, drawsSelection_ = true;
  double cornerRadius_ = 8;
  ContentPainter content_;
};

} // namespace crel
