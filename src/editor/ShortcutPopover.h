#pragma once

#include "chrome/ShortcutGuideView.h"

#include <QFrame>

class QScrollArea;

namespace crel {

// The keyboard-shortcuts popover of the bottom bar: a popup with an arrow
// that opens above its button and shows the whole shortcuts guide, kept
// within the editor window (it scrolls when the window is short). A click
// outside closes it without reaching what lies there, so a click on its own
// button only closes it and the button's toggle stays in step.
class ShortcutPopover : public QFrame {
  Q_OBJECT
public:
  static constexpr int preferredWidth = 380, preferredHeight = 520;

  // `source` hands in the capture shortcut and the menus; none shows the
  // editor's own rows (the tools) alone.
  explicit ShortcutPopover(ShortcutGuideView::Source source = {}, QWidget *parent = nullptr);

  // The tool rows of the guide, in the toolbox's order.
  static std::vector<ShortcutGuideView::Row> toolRows();

  // Opens with the arrow's tip at the middle of `anchor`'s top edge, inside
  // `anchor`'s window.
  void popUp(QWidget *anchor);
  ShortcutGuideView &guide() const { return *guide_; }

Q_SIGNALS:
  void dismissed();

protected:
  void paintEvent(QPaintEvent *event) override;
  void hideEvent(QHideEvent *event) override;

private:
  QScrollArea *scroll_;
  ShortcutGuideView *guide_;
  double arrowX_ = 0;
};

} // namespace crel
