#pragma once

#include <QFrame>

namespace crel {

// The keyboard-shortcuts popover of the bottom bar: a popup with an arrow
// that opens above its button. A click outside closes it without reaching
// what lies there, so a click on its own button only closes it and the
// button's toggle stays in step. Its content is a summary of the tool keys.
class ShortcutPopover : public QFrame {
  Q_OBJECT
public:
  explicit ShortcutPopover(QWidget *parent = nullptr);

  // Opens with the arrow's tip at the middle of `anchor`'s top edge.
  void popUp(QWidget *anchor);
  QSize sizeHint() const override;

Q_SIGNALS:
  void dismissed();

protected:
  void paintEvent(QPaintEvent *event) override;
  void hideEvent(QHideEvent *event) override;
};

} // namespace crel
