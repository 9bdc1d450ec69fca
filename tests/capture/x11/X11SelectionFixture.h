#pragma once

#include "X11TestScreens.h"

#include "capture/CaptureCoordinator.h"
#include "capture/ScreenCapturePanel.h"

#include <QGuiApplication>
#include <QPointer>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <utility>

namespace crel::test {

// Real panels over real displays, driven through XTest like a user would.
// The coordinator takes its stills from the session's default provider.
class X11Selection : public ::testing::Test {
protected:
  using Phase = CaptureCoordinator::Phase;

  void SetUp() override {
    if (layout().isEmpty() || QGuiApplication::platformName() != "xcb")
      GTEST_SKIP() << "needs scripts/xvfb-testbed";
    ASSERT_FALSE(QStandardPaths::findExecutable("xdotool").isEmpty()) << "scripts/install-deps installs xdotool";
    coordinator = std::make_unique<CaptureCoordinator>(CaptureCoordinator::Snapshots(), [this](const geom::Rect &r) {
      std::shared_ptr<CapturePanel> panel = ScreenCapturePanel::factory()(r);
      panels.push_back(static_cast<ScreenCapturePanel *>(panel.get()));
      return panel;
    });
    // Nothing shows the image here, so its panels need not wait for a frame.
    coordinator->setOnImage(nullptr, [this](const QImage &image, const CaptureSource &) {
      images.push_back(image);
      coordinator->tearDownPanels();
    });
    coordinator->setOnError(
        nullptr, [this](const std::exception_ptr &e) { errors.push_back(CaptureCoordinator::errorMessage(e)); });
    coordinator->setOnPermissionRequired(nullptr, [this] { errors.push_back("permission"); });
  }

  // Starts a capture and waits until every display shows its panel and one
  // of them holds the keyboard.
  void beginAndWaitForPanels() {
    coordinator->begin();
    ASSERT_TRUE(QTest::qWaitFor([&] { return coordinator->phase() != Phase::preparing; }, 20000));
    ASSERT_EQ(coordinator->phase(), Phase::selecting) << (errors.empty() ? "" : errors[0].toStdString());
    ASSERT_EQ(panels.size(), size_t(QGuiApplication::screens().size()));
    for (const auto &panel : panels) {
      ASSERT_TRUE(panel);
      ASSERT_TRUE(QTest::qWaitForWindowExposed(panel.data()));
    }
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return std::any_of(panels.begin(), panels.end(), [](auto &p) { return p && p->hasKeyboardGrab(); }); },
        5000));
  }

  static void xdotool(const QStringList &arguments) {
    QProcess process;
    process.start("xdotool", arguments);
    ASSERT_TRUE(process.waitForFinished(10000));
    ASSERT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
  }

  static QStringList pointAt(QScreen *screen, QPoint local) {
    // xdotool speaks root pixels.
    const QPoint native = screen->geometry().topLeft() + local * screen->devicePixelRatio();
    return {"mousemove", QString::number(native.x()), QString::number(native.y()), "sleep", "0.05"};
  }

  // Presses at `from`, moves through the middle to `to` and releases there.
  static void drag(QScreen *screen, QPoint from, QPoint to) {
    xdotool(pointAt(screen, from) + QStringList{"mousedown", "1", "sleep", "0.05"} + pointAt(screen, (from + to) / 2) +
            pointAt(screen, to) + QStringList{"mouseup", "1"});
  }

  // The displays the diagnostics would offer, waited for; never answered at once.
  static std::pair<std::optional<ShareableContent>, std::exception_ptr> availableContent() {
    std::optional<ShareableContent> content;
    std::exception_ptr error;
    bool done = false;
    QObject receiver;
    CaptureCoordinator::availableContent(&receiver, [&](ShareableContent c, std::exception_ptr e) {
      content = std::move(c);
      error = e;
      done = true;
    });
    EXPECT_FALSE(done) << "answers later";
    EXPECT_TRUE(QTest::qWaitFor([&] { return done; }, 5000));
    return {content, error};
  }

  bool panelsGone() const {
    return std::none_of(panels.begin(), panels.end(), [](auto &p) { return p; });
  }

  std::unique_ptr<CaptureCoordinator> coordinator;
  std::vector<QPointer<ScreenCapturePanel>> panels;
  std::vector<QImage> images;
  std::vector<QString> errors;
};

} // namespace crel::test
