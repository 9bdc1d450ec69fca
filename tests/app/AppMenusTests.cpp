#include "app/AppMenus.h"

#include "platform/clipboard/Pasteboard.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QTest>

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

// Copy takes the selection of whatever has focus, a selectable label too,
// before it falls back to the current editor.
TEST(AppMenusCopy, CopiesTheFocusedLabelsSelectionElseTheCurrentEditor) {
  int editorCopies = 0;
  AppMenus::Hooks hooks;
  hooks.copy = [&] { ++editorCopies; };
  AppMenus menus("Crel", hooks);
  QAction *copy = nullptr;
  for (QAction *item : menus.shortcutActions())
    if (item->objectName() == "copy")
      copy = item;
  ASSERT_TRUE(copy);
  FakePasteboard board;
  Pasteboard::overrideGeneral(&board);
  QWidget window;
  auto *label = new QLabel("~/Pictures/Crel", &window);
  label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  window.show();
  QApplication::setActiveWindow(&window);
  label->setFocus();
  ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::focusWidget() == label; }));

  label->setSelection(2, 8);
  copy->trigger();
  EXPECT_EQ(board.text, "Pictures");
  EXPECT_EQ(editorCopies, 0);

  board.text.reset();
  label->setSelection(0, 0);
  copy->trigger();
  EXPECT_FALSE(board.text);
  EXPECT_EQ(editorCopies, 1);
  Pasteboard::overrideGeneral(nullptr);
}

} // namespace
