#pragma once

#include <QList>
#include <QString>
#include <QWidget>

#include <vector>

class QMenu;

namespace crel {

// The keyboard-shortcuts reference: the capture shortcut, the tool keys,
// every key the main menus offer, the pixel-colour click and the editing
// gestures. It reads the menus and the saved shortcut when it is built.
class ShortcutGuide : public QWidget {
  Q_OBJECT
public:
  static constexpr int windowWidth = 440, windowHeight = 520;

  struct Row {
    QString title;
    QString keys;
    friend bool operator==(const Row &, const Row &) = default;
  };
  // One row per menu item with a shortcut, menu by menu in order, in the
  // desktop's notation (Ctrl+Shift+Z).
  static std::vector<Row> menuRows(const QList<QMenu *> &menus);

  // A fixed-size, closable, not minimisable window holding the guide;
  // kept when closed.
  static QWidget *window(const QList<QMenu *> &menus);

  explicit ShortcutGuide(const QList<QMenu *> &menus, QWidget *parent = nullptr);
};

} // namespace crel
