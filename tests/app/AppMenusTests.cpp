#include "app/AppMenus.h"

#include <QKeyEvent>

#include <gtest/gtest.h>

using namespace crel;

namespace {

// A key equivalent goes to the main menu's item with that shortcut, as the
// menu bar would send it, and reports whether any item took it.
TEST(AppMenusKeyEquivalent, TriggersTheEnabledItemWithTheShortcutAndSaysSo) {
  QStringList fired;
  AppMenus::Hooks hooks;
  hooks.copy = [&] { fired << "copy"; };
  hooks.undoCurrent = [&] { fired << "undo"; };
  hooks.redoCurrent = [&] { fired << "redo"; };
  // revealCurrent stays empty: its item (Ctrl+Shift+F) is disabled.
  AppMenus menus("Crel", hooks);

  const struct {
    int key;
    Qt::KeyboardModifiers modifiers;
    bool handled;
    QStringList fired;
  } rows[] = {
      {Qt::Key_C, Qt::ControlModifier, true, {"copy"}},
      {Qt::Key_Z, Qt::ControlModifier, true, {"undo"}},
      {Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier, true, {"redo"}},
      {Qt::Key_C, Qt::NoModifier, false, {}},
      {Qt::Key_C, Qt::AltModifier, false, {}},
      {Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier, false, {}},
  };
  for (const auto &row : rows) {
    fired.clear();
    const QKeyEvent event(QEvent::KeyPress, row.key, row.modifiers);
    EXPECT_EQ(menus.performKeyEquivalent(event), row.handled) << row.key << " " << row.modifiers.toInt();
    EXPECT_EQ(fired, row.fired) << row.key << " " << row.modifiers.toInt();
  }
}

} // namespace
