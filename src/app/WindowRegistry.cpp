#include "WindowRegistry.h"

#include <QApplication>
#include <QGuiApplication>
#include <QWindow>

#include <algorithm>

namespace crel {

WindowRegistry::WindowRegistry(QObject *parent) : QObject(parent) {
  connect(qGuiApp, &QGuiApplication::focusWindowChanged, this, &WindowRegistry::focusChanged);
}

void WindowRegistry::focusChanged(QWindow *window) {
  if (!window)
    return;
  QWidget *widget = nullptr;
  for (QWidget *candidate : QApplication::topLevelWidgets())
    if (candidate->windowHandle() == window)
      widget = candidate;
  if (!widget || WidgetWindow::isTrayIcon(*widget))
    return;
  std::erase_if(recent_, [widget](const QPointer<QWidget> &w) { return !w || w == widget; });
  recent_.insert(recent_.begin(), widget);
  if (canBecomeMain(*widget))
    main_ = widget;
  Q_EMIT windowActivated();
}

QWidget *WindowRegistry::mainWindow() const {
  // Cleared in effect when it hides or closes.
  return main_ && main_->isVisible() ? main_.data() : nullptr;
}

std::vector<std::unique_ptr<ShellWindow>> WindowRegistry::windows() const {
  std::vector<QWidget *> ordered;
  for (const QPointer<QWidget> &w : recent_)
    if (w)
      ordered.push_back(w);
  for (QWidget *w : QApplication::topLevelWidgets())
    if (std::find(ordered.begin(), ordered.end(), w) == ordered.end() && !WidgetWindow::isTrayIcon(*w))
      ordered.push_back(w);
  std::vector<std::unique_ptr<ShellWindow>> result;
  for (QWidget *w : ordered)
    result.push_back(adapter(w));
  return result;
}

std::unique_ptr<ShellWindow> WindowRegistry::adapter(QWidget *window) const {
  return std::make_unique<WidgetShellWindow>(window, *this);
}

} // namespace crel
