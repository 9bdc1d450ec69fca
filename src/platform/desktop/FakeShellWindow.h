#pragma once

#include "ShellWindow.h"

#include <functional>
#include <utility>

namespace crel {

// A window whose state is whatever the test sets; actions are counted and
// change the state the way a real window would. `onFocus` runs once, on the
// next focus return.
struct FakeShellWindow : ShellWindow {
  bool key = false, main = false, visible = true, miniaturized = false, sheet = false, panel = false, filePanel = false,
       mainCapable = true;
  QString windowTitle;
  int fronted = 0, orderedOut = 0, closed = 0, keyed = 0, restored = 0;
  std::function<void()> onFocus;

  bool isKey() const override { return key; }
  bool isMain() const override { return main; }
  bool isVisible() const override { return visible; }
  bool isMiniaturized() const override { return miniaturized; }
  bool hasAttachedSheet() const override { return sheet; }
  bool isPanel() const override { return panel; }
  bool isFilePanel() const override { return filePanel; }
  bool canBecomeMain() const override { return mainCapable; }
  QString title() const override { return windowTitle; }

  int closings() const override { return closed; }

  void deminiaturize() override {
    ++restored;
    miniaturized = false;
  }
  void makeKey() override {
    ++keyed;
    key = true;
    if (const std::function<void()> focus = std::exchange(onFocus, nullptr))
      focus();
  }
  void makeKeyAndOrderFront() override {
    ++fronted;
    visible = true;
    key = true;
  }
  void orderOut() override {
    ++orderedOut;
    visible = false;
  }
  void close() override {
    ++closed;
    visible = false;
  }
};

} // namespace crel
