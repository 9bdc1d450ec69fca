#pragma once

#include "platform/desktop/ShellWindow.h"

#include <QPointer>
#include <QWidget>

#include <memory>

namespace crel {

// ShellWindow over one top-level widget; a widget that has gone reads as
// hidden and ignores requests. Without the shell's record of activations,
// the key window is the main one when it can be.
class WidgetWindow : public ShellWindow {
public:
  explicit WidgetWindow(QWidget *window) : window_(window) {}

  // The handle that lives exactly as long as `window`, made on first
  // request: a weak reference to it empties when the widget is destroyed,
  // and closings are counted from then on.
  static std::shared_ptr<WidgetWindow> attached(QWidget *window);

  QWidget *widget() const { return window_; }

  bool isKey() const override;
  bool isMain() const override;
  bool isVisible() const override { return window_ && window_->isVisible(); }
  bool isMiniaturized() const override { return window_ && window_->isMinimized(); }
  bool hasAttachedSheet() const override { return window_ && attachedSheet(*window_); }
  bool isPanel() const override { return window_ && isPanel(*window_); }
  bool isFilePanel() const override;
  bool canBecomeMain() const override { return window_ && canBecomeMain(*window_); }
  QString title() const override;
  int closings() const override;

  void deminiaturize() override;
  void makeKey() override;
  void makeKeyAndOrderFront() override;
  void orderOut() override;
  void close() override;

  // Not a dialog, tool window, popup or overlay.
  static bool canBecomeMain(const QWidget &window);
  static bool isTrayIcon(const QWidget &window);
  static bool isPanel(const QWidget &window);
  // A visible window-modal dialog whose parent window is `window`.
  static QWidget *attachedSheet(const QWidget &window);
  // Restores a minimised window, shows, raises and activates it.
  static void present(QWidget &window);
  // Gives the keyboard to the window, or to its sheet when it shows one:
  // the sheet is what answers keys, and a window it blocks keeps none.
  static void activate(QWidget &window);

private:
  QPointer<QWidget> window_;
};

} // namespace crel
