#pragma once

#include <QString>

namespace crel {

// One of the application's top-level windows as the shell's rules see it.
// Qt's own state getters are not virtual, so the rules take this interface:
// a widget adapter in the application, plain fakes in tests.
class ShellWindow {
public:
  virtual ~ShellWindow() = default;

  // The window that receives the keyboard (the active window).
  virtual bool isKey() const = 0;
  // The last activated main-capable window, while it stays visible.
  virtual bool isMain() const = 0;
  virtual bool isVisible() const = 0;
  virtual bool isMiniaturized() const = 0;
  // A visible window-modal dialog is open over it.
  virtual bool hasAttachedSheet() const = 0;
  // Dialogs and tool windows, the capture overlays included.
  virtual bool isPanel() const = 0;
  // An open or save dialog.
  virtual bool isFilePanel() const = 0;
  virtual bool canBecomeMain() const = 0;
  virtual QString title() const = 0;

  // Requests to close it so far, counted from when the window was first
  // seen by whoever counts them; a change means it was closed meanwhile.
  virtual int closings() const = 0;

  virtual void deminiaturize() = 0;
  // Gives it the keyboard without changing the stacking order.
  virtual void makeKey() = 0;
  virtual void makeKeyAndOrderFront() = 0;
  virtual void orderOut() = 0;
  virtual void close() = 0;
};

// Brings a window back the way the application does: a minimised window is
// restored first, then shown in front with the keyboard.
inline void bringForward(ShellWindow &window) {
  if (window.isMiniaturized())
    window.deminiaturize();
  window.makeKeyAndOrderFront();
}

} // namespace crel
