#pragma once

#include <QWidget>

#include <functional>

namespace crel {

// The top-level window of one editor, with the desktop's own decorations.
// Its owner decides whether a close may go ahead and hears when it has.
class EditorWindow : public QWidget {
  Q_OBJECT
public:
  explicit EditorWindow(QWidget *parent = nullptr);

  // Asked before the window closes; an empty hook allows it.
  std::function<bool()> shouldClose;
  // Called once the window has closed.
  std::function<void()> willClose;

protected:
  void closeEvent(QCloseEvent *event) override;
};

} // namespace crel
