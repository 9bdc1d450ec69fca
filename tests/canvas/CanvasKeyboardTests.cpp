#include "CanvasInputFixture.h"

#include <QAction>
#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>

#include <numbers>

using namespace crel;
using namespace crel::test;

namespace {

using CanvasKeyboardTest = CanvasInputTest;

TEST_F(CanvasKeyboardTest, BracketsChangeTheBlurStrengthForBlurAndTheWidthOtherwise) {
  document.selectTool(MarkTool::blur);
  const double width = document.stroke();
  const double strength = document.blurStrength();
  EXPECT_TRUE(key(Qt::Key_BracketRight));
  EXPECT_EQ(document.blurStrength(), strength + 2);
  EXPECT_EQ(document.stroke(), width);

  document.selectTool(MarkTool::pen);
  document.setStroke(95);
  key(Qt::Key_BracketRight);
  EXPECT_EQ(document.stroke(), 96);
  key(Qt::Key_BracketRight);
  EXPECT_EQ(document.stroke(), 96);
  document.setStroke(2);
  key(Qt::Key_BracketLeft);
  key(Qt::Key_BracketLeft);
  EXPECT_EQ(document.stroke(), 1);
  // The step tool's own floor comes after the canvas's.
  document.selectTool(MarkTool::step);
  document.setStroke(17);
  key(Qt::Key_BracketLeft);
  EXPECT_EQ(document.stroke(), 16);
}

TEST_F(CanvasKeyboardTest, CtrlBracketAndCtrlLettersGoOnShiftedLettersDoNot) {
  document.selectTool(MarkTool::pen);
  const double width = document.stroke();
  EXPECT_FALSE(key(Qt::Key_BracketLeft, Qt::ControlModifier));
  EXPECT_EQ(document.stroke(), width);
  EXPECT_FALSE(key(Qt::Key_A, Qt::ControlModifier));
  EXPECT_EQ(document.tool(), MarkTool::pen);
  EXPECT_FALSE(key(Qt::Key_Q));                   // no tool's letter
  EXPECT_TRUE(key(Qt::Key_A, Qt::ShiftModifier)); // Shift does not matter to a letter
  EXPECT_EQ(document.tool(), MarkTool::arrow);
}

TEST_F(CanvasKeyboardTest, AltLeftAndRightRotateTheSelectionAndAltUpNudges) {
  const Mark mark = placeSelectedRectangle();
  EXPECT_TRUE(key(Qt::Key_Left, Qt::AltModifier));
  EXPECT_NEAR(*only().rotation, -std::numbers::pi / 12, 1e-12);
  EXPECT_TRUE(key(Qt::Key_Right, Qt::AltModifier));
  EXPECT_FALSE(only().rotation);
  EXPECT_TRUE(key(Qt::Key_Up, Qt::AltModifier));
  EXPECT_EQ(only().start, mark.start - QPointF(0, 1));
  EXPECT_EQ(document.history().size(), 4);

  document.setSelection(std::nullopt);
  EXPECT_FALSE(key(Qt::Key_Left, Qt::AltModifier));
  EXPECT_FALSE(key(Qt::Key_Down));
  EXPECT_TRUE(key(Qt::Key_Delete)); // taken even with nothing to delete
  EXPECT_EQ(document.history().size(), 4);
}

TEST_F(CanvasKeyboardTest, EveryArrowPressIsOneNudgeAndOneUndoStep) {
  const Mark mark = placeSelectedRectangle();
  EXPECT_TRUE(key(Qt::Key_Right, Qt::ShiftModifier));
  EXPECT_EQ(only().start, mark.start + QPointF(10, 0));
  EXPECT_EQ(document.history().size(), 2);
  for (int i = 0; i < 3; ++i)
    key(Qt::Key_Down, {}, true);
  EXPECT_EQ(only().start, mark.start + QPointF(10, 3));
  EXPECT_EQ(document.history().size(), 5);
  document.undo();
  EXPECT_EQ(document.marks().first().start, mark.start + QPointF(10, 2));
}

TEST_F(CanvasKeyboardTest, OnlySpaceReleasesAreTakenAndModifierKeysRerunTheGesture) {
  EXPECT_FALSE(keyUp(Qt::Key_A));
  EXPECT_TRUE(keyUp(Qt::Key_Space));
  document.setTool(MarkTool::rectangle);
  press({20, 20});
  drag({30, 50});
  EXPECT_EQ(canvas->draft()->end, QPointF(30, 50));
  // X11 reports a modifier key's own press without its flag.
  key(Qt::Key_Shift);
  EXPECT_EQ(canvas->draft()->end, QPointF(50, 50));
  keyUp(Qt::Key_Shift, Qt::ShiftModifier);
  EXPECT_EQ(canvas->draft()->end, QPointF(30, 50));
  // Other modifiers going down keep Shift as it is.
  key(Qt::Key_Shift);
  key(Qt::Key_Alt, Qt::ShiftModifier);
  EXPECT_EQ(canvas->draft()->end, QPointF(50, 50));
  release({30, 50}, Qt::ShiftModifier | Qt::AltModifier);
  EXPECT_EQ(only().end, QPointF(50, 50));
}

// A canvas laid out in a shown, active window.
struct CanvasWindow {
  TemporarySettings settings;
  AnnotationPreferences preferences{settings.store()};
  QuietDocument document{halfDarkImage(200, 146), preferences};
  QWidget window;
  CanvasView *canvas = new CanvasView(document);

  explicit CanvasWindow(QWidget *above = nullptr) {
    auto *layout = new QVBoxLayout(&window);
    if (above)
      layout->addWidget(above);
    layout->addWidget(canvas);
    window.resize(432, 400);
  }
  void show() {
    window.show();
    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  }
};

// The window's shortcuts must not take the keys the canvas uses.
TEST(CanvasKeyboardShortcuts, TheCanvasWinsOverWindowShortcutsForItsOwnKeysOnly) {
  CanvasWindow w;
  int deletes = 0, smaller = 0, letters = 0;
  const auto shortcut = [&](const QKeySequence &keys, int &count) {
    auto *action = new QAction(&w.window);
    action->setShortcut(keys);
    action->setShortcutContext(Qt::WindowShortcut);
    QObject::connect(action, &QAction::triggered, [&count] { ++count; });
    w.window.addAction(action);
  };
  shortcut(QKeySequence(Qt::Key_Delete), deletes);
  shortcut(QKeySequence(Qt::CTRL | Qt::Key_BracketLeft), smaller);
  shortcut(QKeySequence(Qt::Key_Q), letters);
  w.show();
  w.canvas->setFocus();
  ASSERT_TRUE(w.canvas->hasFocus());

  const Mark mark = sampleMark(MarkTool::rectangle, {40, 40}, {100, 80});
  w.document.commit({mark});
  w.document.selectMark(mark, false);
  QTest::keyClick(w.canvas, Qt::Key_Delete);
  EXPECT_EQ(deletes, 0);
  EXPECT_TRUE(w.document.marks().isEmpty());
  QTest::keyClick(w.canvas, Qt::Key_BracketLeft, Qt::ControlModifier);
  EXPECT_EQ(smaller, 1);
  QTest::keyClick(w.canvas, Qt::Key_Q);
  EXPECT_EQ(letters, 1);
}

// Shift pressed alone reshapes a drag only if the keys come to the canvas.
TEST(CanvasKeyboardFocus, APressOnTheCanvasTakesTheKeyboardAndAPressOnTheChromeDoesNot) {
  auto *field = new QLineEdit;
  CanvasWindow w(field);
  w.show();
  w.canvas->setChromeFrames({geom::Rect(0, 0, 100, 40)});
  const auto pressAt = [&](QPointF v) {
    field->setFocus();
    QMouseEvent press(QEvent::MouseButtonPress, v, w.canvas->mapToGlobal(v), Qt::LeftButton, Qt::LeftButton, {});
    QApplication::sendEvent(w.canvas, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, v, w.canvas->mapToGlobal(v), Qt::LeftButton, Qt::NoButton, {});
    QApplication::sendEvent(w.canvas, &release);
  };
  pressAt({20, 20});
  EXPECT_TRUE(field->hasFocus());
  pressAt({200, 150});
  EXPECT_TRUE(w.canvas->hasFocus());
}

} // namespace
