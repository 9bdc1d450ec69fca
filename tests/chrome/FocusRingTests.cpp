#include "chrome/BrandSwitch.h"
#include "chrome/FocusRing.h"
#include "chrome/SecondaryActionButton.h"

#include <QApplication>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using namespace crel;

namespace {

// A window with a panel too tight for the ring, the control at its edge.
struct Board {
  QWidget window;
  QWidget *panel = new QWidget(&window);
  SecondaryActionButton *button = new SecondaryActionButton(QStringLiteral("Open Folder"), panel);
  BrandSwitch *toggle = new BrandSwitch(QStringLiteral("Launch at login"), &window);

  Board() {
    window.resize(400, 300);
    window.setAutoFillBackground(true);
    panel->setGeometry(20, 20, button->sizeHint().width(), 60);
    button->setGeometry(QRect(QPoint(0, 0), button->sizeHint()));
    toggle->setGeometry(20, 200, 300, 24);
    FocusRing::enableKeyboardFocus(window);
  }
  QImage around(const QWidget &control) {
    return window.grab(QRect(control.mapTo(&window, QPoint()), control.size()).adjusted(-6, -6, 6, 6)).toImage();
  }
};

} // namespace

TEST(FocusRing, ShowsForKeyboardFocusOnlyAndFollowsItsControl) {
  Board board;
  EXPECT_EQ(board.button->focusPolicy(), Qt::TabFocus);
  board.window.show();
  board.window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&board.window));
  const QImage plain = board.around(*board.button);

  // Activation already gave the button the focus; a click must move it.
  board.toggle->setFocus(Qt::TabFocusReason);
  board.button->setFocus(Qt::MouseFocusReason);
  EXPECT_FALSE(FocusRing::isShown(*board.button)) << "a click shows where the focus is already";
  board.toggle->setFocus(Qt::TabFocusReason);
  board.button->setFocus(Qt::BacktabFocusReason);
  ASSERT_TRUE(FocusRing::isShown(*board.button));
  EXPECT_NE(board.around(*board.button), plain);
  const QImage ringed = board.around(*board.button);

  // The panel moves under a layout: the ring goes with the control, and
  // none is left where it was.
  board.panel->move(120, 140);
  EXPECT_EQ(board.around(*board.button), ringed);
  board.button->clearFocus();
  EXPECT_FALSE(FocusRing::isShown(*board.button));
  board.panel->move(20, 20);
  EXPECT_EQ(board.around(*board.button), plain);
}

TEST(FocusRing, SpaceAndReturnPressTheFocusedControl) {
  Board board;
  board.window.show();
  board.window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&board.window));
  QSignalSpy clicked(board.button, &QAbstractButton::clicked);
  board.button->setFocus(Qt::TabFocusReason);
  const std::pair<Qt::Key, Qt::KeyboardModifiers> presses[] = {
      {Qt::Key_Space, Qt::NoModifier}, {Qt::Key_Return, Qt::NoModifier}, {Qt::Key_Enter, Qt::KeypadModifier}};
  for (const auto &[key, modifiers] : presses) {
    const qsizetype before = clicked.size();
    QTest::keyClick(board.button, key, modifiers);
    ASSERT_TRUE(QTest::qWaitFor([&] { return clicked.size() == before + 1; })) << key;
  }
  QTest::keyClick(board.button, Qt::Key_Return, Qt::ControlModifier);
  board.toggle->setFocus(Qt::TabFocusReason);
  QTest::keyClick(board.toggle, Qt::Key_Return);
  ASSERT_TRUE(QTest::qWaitFor([&] { return board.toggle->isChecked(); }));
  EXPECT_EQ(clicked.size(), 3) << "Ctrl+Return is not a press";
}
