#include "capture/CaptureWindowSession.h"
#include "capture/WidgetWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QPointer>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <functional>

using namespace crel;

namespace {

// A window that may refuse to close, as an editor with unsaved work does.
struct Refusing : QWidget {
  bool refuse = false;
  void closeEvent(QCloseEvent *event) override { refuse ? event->ignore() : event->accept(); }
};

bool becomesActive(QWidget &w) {
  w.show();
  w.activateWindow();
  return QTest::qWaitFor([&] { return QApplication::activeWindow() == &w; }, 2000);
}

} // namespace

TEST(WidgetWindow, TheAttachedHandleLivesAsLongAsItsWidgetAndCountsEveryCloseRequest) {
  auto *widget = new Refusing;
  widget->show();
  const std::weak_ptr<WidgetWindow> handle = WidgetWindow::attached(widget);
  ASSERT_EQ(WidgetWindow::attached(widget), handle.lock()) << "one handle per widget";
  const WidgetWindow plain(widget);
  const struct {
    const char *name;
    bool refuse;
    int closings;
    bool visible;
  } rows[] = {
      {"refused", true, 1, true}, {"accepted", false, 2, false}, {"again while hidden: no request", false, 2, false}};
  for (const auto &row : rows) {
    widget->refuse = row.refuse;
    widget->close();
    EXPECT_EQ(handle.lock()->closings(), row.closings) << row.name;
    EXPECT_EQ(plain.closings(), row.closings) << row.name << ": any adapter reads the same count";
    EXPECT_EQ(handle.lock()->isVisible(), row.visible) << row.name;
  }
  delete widget;
  EXPECT_TRUE(handle.expired());
  EXPECT_FALSE(plain.isVisible());
  EXPECT_EQ(plain.closings(), 0);
  EXPECT_EQ(plain.title(), QString());
}

TEST(CaptureWindowSession, CancelGivesTheKeyboardBackOnlyToTheSameLiveUntouchedWindow) {
  const struct {
    const char *name;
    std::function<void(QWidget *&)> duringSelection;
    bool refocused;
  } rows[] = {
      {"left alone", [](QWidget *&) {}, true},
      {"closed and shown again", [](QWidget *&w) { w->close(), w->show(); }, false},
      {"hidden", [](QWidget *&w) { w->hide(); }, false},
      {"destroyed", [](QWidget *&w) { delete std::exchange(w, nullptr); }, false},
  };
  QWidget other;
  for (const auto &row : rows) {
    auto *editor = new QWidget;
    ASSERT_TRUE(becomesActive(*editor)) << row.name;
    CaptureWindowSession session(CaptureWindowSession::applicationWindows());
    row.duringSelection(editor);
    ASSERT_TRUE(becomesActive(other)) << row.name;
    session.restore(false);
    const bool refocused = QTest::qWaitFor([&] { return editor && QApplication::activeWindow() == editor; }, 300);
    EXPECT_EQ(refocused, row.refocused) << row.name;
    delete editor;
  }
}
