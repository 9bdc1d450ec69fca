#include "app/ShellRules.h"
#include "platform/desktop/FakeShellWindow.h"

#include <gtest/gtest.h>

#include <functional>

using namespace crel;
using ShellRules::Windows;

namespace {

FakeShellWindow window(std::function<void(FakeShellWindow &)> set = {}) {
  FakeShellWindow w;
  if (set)
    set(w);
  return w;
}

Windows pointers(const std::vector<FakeShellWindow> &windows) {
  Windows result;
  for (const FakeShellWindow &w : windows)
    result.push_back(&w);
  return result;
}

const auto hiddenEditor = [](FakeShellWindow &w) { w.visible = false; };
const auto visiblePanel = [](FakeShellWindow &w) {
  w.panel = true;
  w.mainCapable = false;
};

} // namespace

TEST(ShellRules, BusyWhileCapturingModalOrAVisibleWindowHasASheetOrIsAFileDialog) {
  const struct {
    const char *name;
    bool captureIdle, modal;
    std::vector<FakeShellWindow> windows;
    bool busy;
  } rows[] = {
      {"quiet", true, false, {window(), window(visiblePanel)}, false},
      {"capturing", false, false, {}, true},
      {"modal window", true, true, {}, true},
      {"sheet on a visible window", true, false, {window([](auto &w) { w.sheet = true; })}, true},
      {"sheet on a hidden window", true, false, {window([](auto &w) { w.sheet = true, w.visible = false; })}, false},
      {"open dialog without a sheet", true, false, {window([](auto &w) { w.filePanel = w.panel = true; })}, true},
      {"hidden file dialog", true, false, {window([](auto &w) { w.filePanel = true, w.visible = false; })}, false},
  };
  for (const auto &row : rows)
    EXPECT_EQ(ShellRules::isBusy(row.captureIdle, row.modal, pointers(row.windows)), row.busy) << row.name;
}

TEST(ShellRules, IdleOnlyAfterAQuietMinuteWithNothingOpenInTheBackground) {
  const QDateTime then = QDateTime::fromSecsSinceEpoch(1'000'000, Qt::UTC);
  ShellRules::IdleState idle{then.addSecs(60), then, true, false, false, false};
  // Qt keeps a minimised window visible; it is out of the way all the same.
  const std::vector<FakeShellWindow> panelsOnly{window(visiblePanel), window(hiddenEditor),
                                                window([](auto &w) { w.miniaturized = true; })};
  EXPECT_TRUE(ShellRules::isIdle(idle, pointers(panelsOnly))) << "exactly 60 s, the welcome window minimised";

  const struct {
    const char *name;
    std::function<void(ShellRules::IdleState &)> change;
  } breakers[] = {
      {"59.999 s", [](auto &s) { s.now = s.now.addMSecs(-1); }},
      {"capturing", [](auto &s) { s.captureIdle = false; }},
      {"an editor", [](auto &s) { s.hasEditors = true; }},
      {"active", [](auto &s) { s.applicationActive = true; }},
      {"status menu open", [](auto &s) { s.statusMenuOpen = true; }},
  };
  for (const auto &breaker : breakers) {
    ShellRules::IdleState state = idle;
    breaker.change(state);
    EXPECT_FALSE(ShellRules::isIdle(state, pointers(panelsOnly))) << breaker.name;
  }
  const std::vector<FakeShellWindow> withWindow{window(visiblePanel), window()};
  EXPECT_FALSE(ShellRules::isIdle(idle, pointers(withWindow))) << "a visible main-capable window";
}

TEST(ShellRules, CurrentEditorIsTestedPerEditorInListOrder) {
  const auto key = [](FakeShellWindow &w) { w.key = true; };
  const auto main = [](FakeShellWindow &w) { w.main = true; };
  const struct {
    const char *name;
    std::vector<FakeShellWindow> editors;
    int current;
  } rows[] = {
      {"none", {window(), window()}, -1},
      {"empty", {}, -1},
      {"key second", {window(), window(key)}, 1},
      {"main first beats a later key", {window(main), window(key)}, 0},
      {"key first, main later", {window(key), window(main)}, 0},
  };
  for (const auto &row : rows)
    EXPECT_EQ(ShellRules::currentEditor(pointers(row.editors)), row.current) << row.name;
  EXPECT_EQ(ShellRules::currentEditor({nullptr, &rows[2].editors[1]}), 1) << "an editor without a window";
}

TEST(ShellRules, TheFirstWindowWithASheetIsTheOneBroughtForward) {
  const auto sheet = [](FakeShellWindow &w) { w.sheet = true; };
  const std::vector<FakeShellWindow> windows{window(), window(sheet), window(sheet)};
  EXPECT_EQ(ShellRules::firstWithSheet(pointers(windows)), &windows[1]);
  EXPECT_EQ(ShellRules::firstWithSheet(pointers({window(), window()})), nullptr);
}

TEST(ShellRules, ActivationIsHandedBackOnlyWithinItsWindowAndWithNothingToShow) {
  const QDateTime deadline = QDateTime::fromSecsSinceEpoch(2'000'000, Qt::UTC);
  const std::vector<FakeShellWindow> panels{window(visiblePanel), window(hiddenEditor)};
  const std::vector<FakeShellWindow> shown{window()};
  EXPECT_TRUE(ShellRules::shouldYieldActivation(deadline.addMSecs(-1), deadline, false, pointers(panels)));
  EXPECT_FALSE(ShellRules::shouldYieldActivation(deadline, deadline, false, pointers(panels))) << "deadline passed";
  EXPECT_FALSE(ShellRules::shouldYieldActivation(deadline.addSecs(-1), deadline, true, pointers(panels)))
      << "an editor";
  EXPECT_FALSE(ShellRules::shouldYieldActivation(deadline.addSecs(-1), deadline, false, pointers(shown)))
      << "a visible main-capable window";
}

TEST(ShellRules, WelcomeHeightFollowsTheScreenWithinBounds) {
  const struct {
    std::optional<int> available;
    int height;
  } rows[] = {{700, 620},
              {2000, 760},
              {840, 760},
              {std::nullopt, 740},
              {200, ShellRules::welcomeMinimumHeight},
              {0, ShellRules::welcomeMinimumHeight},
              {-50, ShellRules::welcomeMinimumHeight}};
  for (const auto &row : rows)
    EXPECT_EQ(ShellRules::welcomeHeight(row.available), row.height) << row.available.value_or(-1);
}

TEST(ShellRules, ARestoredFrameLandsWhollyOnTheScreenItOverlapsMost) {
  const QList<QRect> screens{QRect(0, 0, 1920, 1080), QRect(1920, 0, 1280, 800)};
  const struct {
    const char *name;
    QRect saved;
    std::optional<QRect> frame;
  } rows[] = {
      {"inside", QRect(100, 100, 800, 600), QRect(100, 100, 800, 600)},
      {"meets no screen", QRect(5000, 5000, 800, 600), std::nullopt},
      {"empty", QRect(), std::nullopt},
      {"title bar above the top", QRect(100, -590, 800, 600), QRect(100, 0, 800, 600)},
      {"a sliver past the right edge", QRect(3190, 700, 800, 600), QRect(2400, 200, 800, 600)},
      {"mostly on the second screen", QRect(1800, 100, 800, 600), QRect(1920, 100, 800, 600)},
      {"larger than its screen", QRect(2000, 0, 1600, 900), QRect(1920, 0, 1280, 800)},
  };
  for (const auto &row : rows)
    EXPECT_EQ(ShellRules::restoredFrame(row.saved, screens), row.frame) << row.name;
}

TEST(ShellRules, ScreenshotEntriesAreNewestFirstWithKeyAndMinimisedStates) {
  std::vector<FakeShellWindow> editors{window([](auto &w) { w.windowTitle = "old.png", w.miniaturized = true; }),
                                       window([](auto &w) { w.windowTitle = "middle.png", w.key = true; }),
                                       window([](auto &w) { w.windowTitle = "new.png"; })};
  Windows windows = pointers(editors);
  windows.insert(windows.begin() + 1, nullptr);
  const std::vector<ShellRules::ScreenshotEntry> expected{
      {"new.png", Qt::Unchecked, 3}, {"middle.png", Qt::Checked, 2}, {"old.png", Qt::PartiallyChecked, 0}};
  EXPECT_EQ(ShellRules::screenshotEntries(windows), expected);
  EXPECT_TRUE(ShellRules::screenshotEntries({}).empty());
}

TEST(ShellRules, StatusTextCarriesTheMarksAndTheAccessibilityLabel) {
  const struct {
    bool copied, update;
    ShellRules::StatusText text;
  } rows[] = {
      {false, false, {"", false, "Crel"}},
      {false, true, {" ↑", true, "Crel, Update available"}},
      {true, false, {" Copied", true, "Crel, Copied to clipboard"}},
      {true, true, {" Copied ↑", true, "Crel, Copied to clipboard, Update available"}},
  };
  for (const auto &row : rows)
    EXPECT_EQ(ShellRules::statusText("Crel", row.copied, row.update), row.text) << row.copied << row.update;
}
