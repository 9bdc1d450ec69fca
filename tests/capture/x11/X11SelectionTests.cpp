#include "../portal/CodedDesktop.h"
#include "X11SelectionFixture.h"

#include "capture/CaptureCoordinator.h"
#include "capture/RegionSelectionView.h"
#include "capture/ScreenCapturePanel.h"
#include "platform/display/X11RootGrabber.h"

#include <QGuiApplication>
#include <QPointer>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>

using namespace crel;
using namespace crel::test;

// Escape and a right click each end a capture with nothing delivered, a tiny
// drag is ignored, and the keyboard is free again for the next capture.
TEST_F(X11Selection, EscapeOrARightClickCancelsAndATinyDragIsIgnored) {
  QScreen *screen = QGuiApplication::screens().front();
  for (const bool escape : {true, true, false}) {
    SCOPED_TRACE(escape ? "Escape" : "right click");
    panels.clear();
    beginAndWaitForPanels();
    if (escape) {
      xdotool({"key", "Escape"});
    } else {
      drag(screen, {200, 200}, {201, 201}); // had it counted, an image would follow
      xdotool({"click", "3"});
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return coordinator->phase() == Phase::idle; }, 5000));
    EXPECT_TRUE(images.empty());
    EXPECT_TRUE(errors.empty());
    EXPECT_TRUE(QTest::qWaitFor([&] { return panelsGone(); }, 2000));
  }
}

TEST_F(X11Selection, ADragThatLeavesItsDisplayIsClippedToIt) {
  if (layout() != "dual")
    GTEST_SKIP() << "needs two displays";
  paintRootPattern();
  beginAndWaitForPanels();
  QScreen *left = QGuiApplication::screens()[0];
  QScreen *right = QGuiApplication::screens()[1];
  // From the 2× display into the one beside it: the pointer stays with the
  // panel it pressed on, whose selection stops at its right edge.
  xdotool(pointAt(left, {1300, 700}) + QStringList{"mousedown", "1", "sleep", "0.05"} + pointAt(right, {120, 400}) +
          QStringList{"mouseup", "1"});
  ASSERT_TRUE(QTest::qWaitFor([&] { return !images.empty() || !errors.empty(); }, 10000));
  ASSERT_EQ(images.size(), 1u);
  // The release lies at root pixels (3000, 400): points (1500, 200) of the
  // 2× panel. So 1300..1440 across and 200..700 down, at 2×.
  EXPECT_EQ(images[0].size(), QSize(280, 1000));
  EXPECT_EQ(coded::mismatches(images[0], 0, {2600, 400}), 0);
}

TEST_F(X11Selection, AvailableContentListsTheDisplaysAndTellsARefusalApart) {
  const auto [content, error] = availableContent();
  ASSERT_FALSE(error) << CaptureCoordinator::errorMessage(error).toStdString();
  const QList<QScreen *> screens = QGuiApplication::screens();
  ASSERT_EQ(content->displays.size(), size_t(screens.size()));
  for (int i = 0; i < screens.size(); ++i) {
    EXPECT_EQ(content->displays[size_t(i)].name, screens[i]->name());
    EXPECT_EQ(content->displays[size_t(i)].frame, QRectF(screens[i]->geometry()));
  }

  std::optional<ShareableContent> refusedContent;
  std::exception_ptr refusal;
  if (!asUntrustedClient([&] { std::tie(refusedContent, refusal) = availableContent(); }))
    return;
  ASSERT_TRUE(refusal);
  EXPECT_TRUE(CaptureSnapshot::isPermissionError(refusal));
  EXPECT_TRUE(refusedContent->displays.empty());
}

namespace {

struct ViewPaints : QObject {
  std::map<QObject *, int> count;
  bool eventFilter(QObject *receiver, QEvent *event) override {
    if (event->type() == QEvent::Paint && qobject_cast<RegionSelectionView *>(receiver))
      ++count[receiver];
    return false;
  }
};

// Black at 0.28 over `colour`, give or take the blend's rounding.
bool isDimmed(QRgb shown, QRgb colour) {
  auto near = [](int shown, int original) { return std::abs(shown - original * 184 / 255) <= 2; };
  return near(qRed(shown), qRed(colour)) && near(qGreen(shown), qGreen(colour)) && near(qBlue(shown), qBlue(colour));
}

} // namespace

TEST_F(X11Selection, EachDisplayShowsItsDimmedStillFromOnePaint) {
  paintRootPattern();
  ViewPaints paints;
  QCoreApplication::instance()->installEventFilter(&paints);
  beginAndWaitForPanels();
  const QList<QScreen *> screens = QGuiApplication::screens();
  X11RootGrabber grabber;
  for (int index = 0; index < screens.size(); ++index) {
    SCOPED_TRACE(screens[index]->name().toStdString());
    const QPoint local = QPoint(300, 250) * screens[index]->devicePixelRatio();
    const QPoint native = screens[index]->geometry().topLeft() + local;
    const QRgb colour = coded::colour(index, local.x(), local.y());
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return isDimmed(grabber.grab(QRect(native, QSize(1, 1))).pixel(0, 0), colour); }, 5000));
  }
  // Showing, exposing and taking the keyboard have all been handled by now.
  QCoreApplication::sendPostedEvents();
  QCoreApplication::processEvents();
  for (const auto &panel : panels)
    EXPECT_EQ(paints.count[panel->contentView()], 1);

  // Shown again, a panel paints again.
  ScreenCapturePanel *panel = panels.front();
  panel->orderOut();
  panel->present();
  EXPECT_TRUE(QTest::qWaitFor([&] { return paints.count[panel->contentView()] == 2; }, 5000));
  coordinator->cancel();
}
