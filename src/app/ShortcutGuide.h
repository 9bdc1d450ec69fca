#pragma once

#include "chrome/ShortcutGuideView.h"

#include <QList>
#include <QString>

#include <vector>

class QMenu;
class QWidget;

namespace crel {

// The keyboard-shortcuts window and what the application hands the guide:
// the capture shortcut, the tools and every key the main menus offer.
class ShortcutGuide {
public:
  static constexpr int windowWidth = 440, windowHeight = 520;

  using Row = ShortcutGuideView::Row;
  // One row per menu item with a shortcut, menu by menu in order, in the
  // desktop's notation (Ctrl+Shift+Z).
  static std::vector<Row> menuRows(const QList<QMenu *> &menus);
  // "Capture anywhere: <label>. Change it in Settings."
  static QString captureLine(const QString &captureLabel);
  // The guide as it reads now, for the capture shortcut's line and the menus.
  static ShortcutGuideView::Content content(const QString &captureLine, const QList<QMenu *> &menus);

  // A fixed-size, closable, not minimisable window holding the guide over
  // `source`; kept when closed.
  static QWidget *window(ShortcutGuideView::Source source);
  // Brings the window back from wherever the desktop put it, in front; it
  // takes the keyboard only while the application is active, which showing
  // it never makes it.
  static void present(QWidget &window, bool applicationActive);
};

} // namespace crel
