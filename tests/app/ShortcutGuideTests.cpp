#include "app/AppMenus.h"
#include "app/ShortcutGuide.h"
#include "chrome/ChromeScrollBar.h"

#include <QLabel>
#include <QMenu>
#include <QScrollArea>
#include <QScrollBar>
#include <QWidget>

#include <gtest/gtest.h>

using namespace crel;
using Row = ShortcutGuide::Row;

TEST(ShortcutGuide, OneRowPerMenuShortcutInTheDesktopsNotation) {
  AppMenus menus("Crel", AppMenus::inertHooks([] { return QString("Ctrl+Shift+2"); }));
  const std::vector<Row> expected{
      {"Settings…", "Ctrl+,"},
      {"Quit Crel", "Ctrl+Q"},
      {"New Capture", "Ctrl+N"},
      {"Open Image…", "Ctrl+O"},
      {"Show in File Manager", "Ctrl+Shift+F"},
      {"Close Window", "Ctrl+W"},
      {"Undo", "Ctrl+Z"},
      {"Redo", "Ctrl+Shift+Z"},
      {"Cut", "Ctrl+X"},
      {"Copy", "Ctrl+C"},
      {"Paste", "Ctrl+V"},
      {"Select All", "Ctrl+A"},
      {"Minimize", "Ctrl+M"},
      {"Keyboard Shortcuts", "Ctrl+?"},
  };
  EXPECT_EQ(ShortcutGuide::menuRows(menus.mainMenus()), expected);

  // The window shows the 13 tool rows, then exactly these; it reads the
  // capture shortcut and the menus each time it is shown.
  QString capture = "Ctrl+Shift+2";
  std::unique_ptr<QWidget> window(ShortcutGuide::window(
      [&] { return ShortcutGuide::content(ShortcutGuide::captureLine(capture), menus.mainMenus()); }));
  QStringList titles;
  for (const QLabel *label : window->findChildren<QLabel *>("row-title"))
    titles << label->text();
  ASSERT_EQ(titles.size(), 13 + 14 + 1);
  EXPECT_EQ(titles.first(), "Select");
  EXPECT_EQ(titles[13], "Settings…");
  EXPECT_EQ(titles.last(), "Copy pixel color");
  for (const char *absent : {"About Crel", "Open Saved Images Folder", "Zoom", "Bring All to Front"})
    EXPECT_FALSE(titles.contains(absent)) << absent;
  EXPECT_EQ(window->size(), QSize(ShortcutGuide::windowWidth, ShortcutGuide::windowHeight));
  EXPECT_FALSE(window->windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(window->windowFlags() & Qt::WindowMaximizeButtonHint);
  auto *scroll = window->findChild<QScrollArea *>();
  ASSERT_NE(scroll, nullptr);
  window->show();
  EXPECT_EQ(scroll->verticalScrollBar()->width(), ChromeScrollBar::width) << "the kit's slim scroll bar";
  const auto captureLine = [&] { return window->findChild<QLabel *>("capture-line")->text(); };
  EXPECT_EQ(captureLine(), "Capture anywhere: Ctrl+Shift+2. Change it in Settings.");
  window->close();
  capture = "Ctrl+Alt+K";
  menus.mainMenus().front()->actions()[1]->setShortcut(QKeySequence("Ctrl+;"));
  window->show();
  EXPECT_EQ(captureLine(), "Capture anywhere: Ctrl+Alt+K. Change it in Settings.");
  QStringList keys;
  for (const QLabel *label : window->findChildren<QLabel *>("row-keys"))
    keys << label->text();
  EXPECT_TRUE(keys.contains("Ctrl+;")) << keys.join(' ').toStdString();
}
