#include "CanvasInputFixture.h"

#include "canvas/CanvasContextMenu.h"

#include <numbers>

using namespace crel;
using namespace crel::test;

namespace {

QStringList titles(const QMenu &menu) {
  QStringList result;
  for (const QAction *action : menu.actions())
    result.append(action->isSeparator() ? QStringLiteral("---") : action->text());
  return result;
}

const QStringList markCommands{"Rotate Left 90°", "Rotate Right 90°", "Reset Rotation", "Duplicate",
                               "Bring to front",  "Send to back",     "Delete"};

class CanvasContextMenuTest : public CanvasInputTest {
protected:
  void giveWindowSizeMenu() {
    interaction().hooks().windowSizeMenu = [] {
      auto menu = std::make_unique<QMenu>();
      menu->addAction("Small");
      menu->addAction("Large");
      return menu;
    };
  }
};

TEST_F(CanvasContextMenuTest, NoMenuOverTheChromeAndNoColourItemOutsideTheImage) {
  giveWindowSizeMenu();
  EXPECT_EQ(titles(*interaction().contextMenu({4, 4})), (QStringList{"Small", "Large"}));
  canvas->setChromeFrames({geom::Rect(0, 0, 432, 60)});
  EXPECT_EQ(interaction().contextMenu({100, 30}), nullptr);
  interaction().hooks().windowSizeMenu = nullptr;
  EXPECT_TRUE(interaction().contextMenu({4, 100})->actions().isEmpty());
}

TEST_F(CanvasContextMenuTest, ColourFirstThenWindowSizesThenMarkCommands) {
  giveWindowSizeMenu();
  const Mark mark = sampleMark(MarkTool::rectangle, {40, 40}, {100, 80});
  document.commit({mark});
  document.setSelection(mark.id);
  const std::unique_ptr<QMenu> menu = interaction().contextMenu(view({150, 20}));
  EXPECT_EQ(titles(*menu), QStringList({"Copy Color #14141E", "---", "Small", "Large", "---"}) + markCommands);

  // Without the editor's window only the colour and the commands remain.
  interaction().hooks().windowSizeMenu = nullptr;
  EXPECT_EQ(titles(*interaction().contextMenu(view({10, 20}))),
            QStringList({"Copy Color #F0F0F0", "---", "---"}) + markCommands);
}

// The colour item is a self-check.
TEST_F(CanvasContextMenuTest, EachMarkItemCallsItsDocumentOperation) {
  const Mark mark = sampleMark(MarkTool::rectangle, {40, 40}, {100, 80});
  const Mark other = sampleMark(MarkTool::ellipse, {10, 10}, {30, 30});
  document.commit({mark, other});
  document.setSelection(mark.id);
  const auto run = [&](const QString &title) {
    std::unique_ptr<QMenu> menu = interaction().contextMenu(view({150, 20}));
    QAction *action = menuItem(*menu, title);
    ASSERT_TRUE(action) << title.toStdString();
    action->trigger();
  };
  run("Rotate Left 90°");
  EXPECT_NEAR(*document.marks().first().rotation, -std::numbers::pi / 2, 1e-12);
  run("Reset Rotation");
  EXPECT_FALSE(document.marks().first().rotation);
  run("Bring to front");
  EXPECT_EQ(document.marks().last().id, mark.id);
  run("Send to back");
  EXPECT_EQ(document.marks().first().id, mark.id);
  run("Duplicate");
  EXPECT_EQ(document.marks().size(), 3);
  const qsizetype before = document.marks().size();
  run("Delete");
  EXPECT_EQ(document.marks().size(), before - 1);
}

TEST_F(CanvasContextMenuTest, ADanglingSelectionStillShowsCommandsThatDoNothing) {
  document.commit({sampleMark(MarkTool::rectangle, {40, 40}, {100, 80})});
  document.setSelection(QUuid::createUuid());
  const std::unique_ptr<QMenu> menu = interaction().contextMenu(view({150, 20}));
  EXPECT_EQ(titles(*menu).mid(2), QStringList({"---"}) + markCommands);
  const QList<Mark> marks = document.marks();
  for (QAction *action : menu->actions())
    if (!action->isSeparator() && !action->text().startsWith("Copy"))
      action->trigger();
  EXPECT_EQ(document.marks(), marks);
}

TEST_F(CanvasContextMenuTest, ASecondaryClickOpensTheMenuAndNeverStartsAGesture) {
  mouseAt(QEvent::MouseButtonPress, view({50, 50}), {}, Qt::RightButton);
  EXPECT_FALSE(canvas->anchor());
  QContextMenuEvent event(QContextMenuEvent::Mouse, view({50, 50}).toPoint(), canvas->mapToGlobal(QPoint(100, 100)));
  EXPECT_TRUE(QApplication::sendEvent(canvas.get(), &event));
  EXPECT_TRUE(event.isAccepted());
  QWidget *popup = QApplication::activePopupWidget();
  ASSERT_NE(popup, nullptr);
  popup->close();
}

} // namespace
