#include "app/ShortcutGuide.h"

#include <QLabel>
#include <QMenu>
#include <QWidget>

#include <gtest/gtest.h>

using namespace crel;
using Row = ShortcutGuide::Row;

TEST(ShortcutGuide, TheToolsThenOneRowPerMenuShortcutInTheDesktopsNotation) {
  QMenu file, edit;
  file.addAction("&Open…")->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
  file.addAction("Without a key");
  file.addSeparator();
  edit.addAction("Redo")->setShortcut(QKeySequence(Qt::SHIFT | Qt::CTRL | Qt::Key_Z));
  const QList<QMenu *> menus{&file, &edit};
  EXPECT_EQ(ShortcutGuide::menuRows(menus), (std::vector<Row>{{"Open…", "Ctrl+O"}, {"Redo", "Ctrl+Shift+Z"}}));

  std::unique_ptr<QWidget> window(ShortcutGuide::window(menus));
  QStringList titles;
  for (const QLabel *label : window->findChildren<QLabel *>("row-title"))
    titles << label->text();
  ASSERT_EQ(titles.size(), 13 + 2 + 1);
  EXPECT_EQ(titles.first(), "Select");
  EXPECT_EQ(titles[13], "Open…");
  EXPECT_EQ(titles.last(), "Copy pixel color");
  EXPECT_EQ(window->size(), QSize(ShortcutGuide::windowWidth, ShortcutGuide::windowHeight));
  EXPECT_FALSE(window->windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(window->windowFlags() & Qt::WindowMaximizeButtonHint);
}
