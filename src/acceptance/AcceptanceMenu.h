#pragma once

#include "AcceptanceWait.h"

#include <QList>
#include <QString>

class QAction;
class QMenu;
class QWidget;

namespace crel::acceptance {

// The first action named `actionName` (its objectName) among the items of
// the given top-level menus, leftmost menu first, one level deep: actions
// in nested submenus are not looked at. None when there is no such item.
QAction *menuAction(const QList<QMenu *> &mainMenus, const QString &actionName);

// Brings `window` to the front, waits until it is the active window
// ("Menu target did not become the active editor"), then triggers
// menuAction(); "Missing menu action: <name>" when there is none.
void menu(const QString &actionName, QWidget &window, const QList<QMenu *> &mainMenus,
          const Sleep &sleep = EventPump::sleep);

} // namespace crel::acceptance
