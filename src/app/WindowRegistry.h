#pragma once

#include "capture/WidgetWindow.h"

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <memory>
#include <vector>

class QWindow;

namespace crel {

// The application's windows in the terms the shell's rules use. Qt has no
// key/main distinction and no z-order query: the registry keeps the windows
// in the order they were last activated and remembers the last activated
// main-capable one. Main thread only; one per application.
class WindowRegistry : public QObject {
  Q_OBJECT
public:
  explicit WindowRegistry(QObject *parent = nullptr);

  // Every top-level widget but the tray's icon, most recently activated first, then the rest.
  std::vector<std::unique_ptr<ShellWindow>> windows() const;
  std::unique_ptr<ShellWindow> adapter(QWidget *window) const;

  QWidget *mainWindow() const;
  bool isMain(const QWidget *window) const { return window && window == mainWindow(); }

  // Not a dialog, tool window, popup or overlay.
  static bool canBecomeMain(const QWidget &window) { return WidgetWindow::canBecomeMain(window); }
  static bool isPanel(const QWidget &window) { return WidgetWindow::isPanel(window); }
  // A visible window-modal dialog whose parent window is `window`.
  static QWidget *attachedSheet(const QWidget &window) { return WidgetWindow::attachedSheet(window); }

  // Restores a minimised window, shows, raises and activates it.
  static void present(QWidget &window) { WidgetWindow::present(window); }

Q_SIGNALS:
  // One of our windows became active.
  void windowActivated();

private:
  void focusChanged(QWindow *window);

  std::vector<QPointer<QWidget>> recent_;
  QPointer<QWidget> main_;
};

// ShellWindow over one top-level widget, main as the registry records it.
class WidgetShellWindow final : public WidgetWindow {
public:
  WidgetShellWindow(QWidget *window, const WindowRegistry &registry) : WidgetWindow(window), registry_(registry) {}
  bool isMain() const override { return registry_.isMain(widget()); }

private:
  const WindowRegistry &registry_;
};

} // namespace crel
