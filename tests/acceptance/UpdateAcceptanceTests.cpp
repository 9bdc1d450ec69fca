#include "acceptance/UpdateAcceptance.h"
#include "selfcheck/Failure.h"
#include "support/TestSupport.h"
#include "update/UpdateController.h"
#include "update/framework/Updater.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>

namespace crel::acceptance {
namespace {

using update::UpdateError;
using update::UpdateErrorCode;

// The scenarios over a front end whose updater never starts: the test plays
// the update layer's callbacks, before the run or while it waits.
struct ScenarioRun {
  UpdateController updates{
      [](update::UpdaterDelegate *, update::UserDriverDelegate *) { return std::unique_ptr<update::Updater>(); }};
  QTemporaryDir folder;
  int terminations = 0;
  std::optional<QString> failure;
  std::unique_ptr<UpdateAcceptance> run;

  void start(const QString &scenario) {
    UpdateAcceptance::Target target{updates};
    target.editors = [] { return std::vector<EditorController *>(); };
    target.terminate = [this] { ++terminations; };
    target.fail = [this](std::exception_ptr error) {
      try {
        std::rethrow_exception(error);
      } catch (const NativeTests::Failure &f) {
        failure = f.description();
      } catch (const std::exception &e) {
        failure = QString::fromUtf8(e.what());
      }
    };
    UpdateAcceptance::Limits limits;
    limits.checkFinishedMs = limits.nextCheckMs = limits.updateReadyMs = 400;
    run = std::make_unique<UpdateAcceptance>(std::move(target), folder.path(), scenario, limits);
  }
  bool ended() const { return terminations > 0 || failure.has_value(); }
  QByteArray passed() const { return test::contents(folder.filePath("passed")); }
  void checkEnded(int code) { updates.didAbortWithError(UpdateError(UpdateErrorCode(code), "x")); }
  void scheduled() { updates.willScheduleUpdateCheckAfterDelay(3600); }
};

// A background check's outcome decides the verdict, by the exact scenario
// name; only a clean end writes "passed" and terminates.
TEST(UpdateAcceptance, BackgroundCheckVerdicts) {
  const QString upToDate = "An up-to-date installation is not offered a downgrade or reinstall";
  const QString refused = "Invalid update data is rejected by the actual updater";
  struct Case {
    const char *scenario;
    int code;
    bool ready;
    std::optional<QString> failure;
  } cases[] = {
      {"current", 1001, false, std::nullopt}, {"newer", 1001, false, std::nullopt},
      {"newer", 1002, false, upToDate},       {"bad-archive", 3001, false, std::nullopt},
      {"bad-archive", 1001, false, refused},  {"bad-archive", 3001, true, refused},
      {"Current", 1001, false, refused}, // letter case makes another name
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(c.scenario) + " " + std::to_string(c.code));
    ScenarioRun r;
    if (c.ready)
      r.updates.willInstallUpdateOnQuit({}, [] {});
    r.checkEnded(c.code);
    r.scheduled();
    // Conditions that already hold pass without a pause: the run ends at once.
    r.start(c.scenario);
    EXPECT_EQ(r.failure, c.failure);
    EXPECT_EQ(r.terminations, c.failure ? 0 : 1);
    EXPECT_EQ(r.passed(), c.failure ? "" : "passed");
  }
}

// The runs poll while the updater works; an expired wait names the status
// as it was when the wait began.
TEST(UpdateAcceptance, TimedWaits) {
  struct Case {
    const char *scenario;
    std::function<void(ScenarioRun &)> duringWait;
    std::optional<QString> failure;
  } cases[] = {
      {"current",
       [](ScenarioRun &r) {
         r.checkEnded(1001);
         r.scheduled();
       },
       std::nullopt},
      {"current", [](ScenarioRun &r) { r.updates.setStatus("Later status"); },
       "The background update check did not finish: Earlier status"},
      {"current", [](ScenarioRun &r) { r.checkEnded(1001); }, "The updater did not schedule its next check"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.failure.value_or("passes").toStdString());
    ScenarioRun r;
    r.updates.setStatus("Earlier status");
    r.start(c.scenario);
    ASSERT_FALSE(r.ended());
    QTimer::singleShot(150, [&] { c.duringWait(r); });
    ASSERT_TRUE(QTest::qWaitFor([&] { return r.ended(); }, 5000));
    EXPECT_EQ(r.failure, c.failure);
    EXPECT_EQ(r.passed(), c.failure ? "" : "passed");
  }
}

TEST(UpdateAcceptance, RestoredWithoutAnEditorFailsAtOnce) {
  ScenarioRun r;
  r.start("restored");
  EXPECT_EQ(r.failure, "Normal launch restores the open editor after an update installed on quit");
  EXPECT_EQ(r.terminations, 0);
}

} // namespace
} // namespace crel::acceptance
