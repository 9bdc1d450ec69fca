#include "AcceptanceMenu.h"

#include "selfcheck/Failure.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QWidget>

namespace crel::acceptance {

QAction *menuAction(const QList<QMenu *> &mainMenus, const QString &actionName) {
  for (const QMenu *menu : mainMenus) {
    if (!menu)
      continue;
    for (QAction *action : menu->actions())
      if (!action->menu() && action->objectName() == actionName)
        return action;
  }
  return nullptr;
}

void menu(const QString &actionName, QWidget &window, const QList<QMenu *> &mainMenus, const Sleep &sleep) {
  window.raise();
  window.activateWindow();
  wait(
      QStringLiteral("Menu target did not become the active editor"),
      [&] { return window.isActiveWindow() && QApplication::activeWindow() == window.window(); }, sleep);
  QAction *action = menuAction(mainMenus, actionName);
  if (!action)
    throw NativeTests::Failure(QStringLiteral("Missing menu action: ") + actionName);
  action->trigger();
}

} // namespace crel::acceptance
