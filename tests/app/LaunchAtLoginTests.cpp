#include "app/CommandLine.h"
#include "app/LaunchAtLogin.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace crel;

namespace {

using S = LoginItemStatus;

enum class Action { start, turnOn, turnOff };

struct LoginCase {
  const char *name;
  bool initializedBefore;
  S statusBefore;
  std::optional<S> statusAfterRequest;
  const char *failure; // "" : requests succeed
  Action action;
  // Expected afterwards.
  int registrations;
  int removals;
  int settingsOpened;
  bool initialized;
  S status;
  const char *error; // null: none
};

void PrintTo(const LoginCase &c, std::ostream *os) { *os << c.name; }

class LaunchAtLoginModel : public ::testing::TestWithParam<LoginCase> {};

TEST_P(LaunchAtLoginModel, DecidesOnceAndKeepsTheUsersChoice) {
  const LoginCase &c = GetParam();
  test::TemporarySettings settings;
  if (c.initializedBefore)
    settings.store().setValue(LaunchAtLogin::initializedKey, true);
  FakeLoginItemService service;
  service.currentStatus = c.statusBefore;
  service.statusAfterRequest = c.statusAfterRequest;
  service.failure = QString::fromUtf8(c.failure);
  LaunchAtLogin model(service, settings.store(), true);
  int errorSignals = 0;
  QObject::connect(&model, &LaunchAtLogin::errorMessageChanged, [&] { ++errorSignals; });

  switch (c.action) {
  case Action::start: model.start(); break;
  case Action::turnOn: model.setEnabled(true); break;
  case Action::turnOff: model.setEnabled(false); break;
  }

  EXPECT_EQ(service.registerCount, c.registrations);
  EXPECT_EQ(service.unregisterCount, c.removals);
  EXPECT_EQ(service.openSettingsCount, c.settingsOpened);
  EXPECT_EQ(model.isInitialized(), c.initialized);
  EXPECT_EQ(settings.store().contains(LaunchAtLogin::initializedKey), c.initialized || c.initializedBefore);
  EXPECT_EQ(model.status(), c.status);
  EXPECT_EQ(model.isToggleOn(), c.status == S::enabled);
  EXPECT_EQ(model.errorMessage().value_or("(none)"), c.error ? QString::fromUtf8(c.error) : "(none)");
  EXPECT_EQ(errorSignals, c.error ? 1 : 0);
  if (c.error) {
    EXPECT_EQ(model.detail(), c.error);
  }
}

const char *const couldNotEnable =
    "Your desktop could not enable automatic startup. Try again or check your desktop's startup applications.";

// The first installed launch, relaunches, test copies, turning off and a
// failed first registration are rows of the self-test.
const LoginCase loginCases[] = {
    {"FirstRunAwaitingApprovalOnlyRecordsTheDecision", false, S::requiresApproval, std::nullopt, "", Action::start, 0,
     0, 0, true, S::requiresApproval, nullptr},
    {"FirstRunAlreadyEnabledOnlyRecordsTheDecision", false, S::enabled, std::nullopt, "", Action::start, 0, 0, 0, true,
     S::enabled, nullptr},
    {"TurningOnWhileAwaitingApprovalOpensTheSettings", false, S::requiresApproval, S::enabled, "", Action::turnOn, 0, 0,
     1, false, S::requiresApproval, nullptr},
    {"TurningOnWhenEnabledMakesNoRequest", false, S::enabled, std::nullopt, "", Action::turnOn, 0, 0, 0, true,
     S::enabled, nullptr},
    {"TurningOffWhenNotRegisteredRecordsTheChoice", false, S::notRegistered, std::nullopt, "", Action::turnOff, 0, 0, 0,
     true, S::notRegistered, nullptr},
    {"TurningOffWhileAwaitingApprovalRemovesTheItem", false, S::requiresApproval, S::notRegistered, "", Action::turnOff,
     0, 1, 0, true, S::notRegistered, nullptr},
    {"FailureEndingInApprovalShowsNoError", false, S::notRegistered, S::requiresApproval, "Denied", Action::start, 1, 0,
     0, true, S::requiresApproval, nullptr},
    {"FailedRemovalKeepsTheEnabledState", true, S::enabled, std::nullopt, "No permission.", Action::turnOff, 0, 1, 0,
     true, S::enabled, "Could not change automatic startup: No permission."},
    {"RegistrationThatChangesNothingIsAnError", false, S::notRegistered, std::nullopt, "", Action::turnOn, 1, 0, 0,
     false, S::notRegistered, couldNotEnable},
    {"RegistrationLeavingTheItemMissingIsAnError", false, S::notRegistered, S::notFound, "", Action::start, 1, 0, 0,
     false, S::notFound, couldNotEnable},
    // The entry is on but names a copy that moved: the running copy takes over.
    {"AMovedCopyTakesOverItsEntry", true, S::notFound, S::enabled, "", Action::start, 1, 0, 0, true, S::enabled,
     nullptr},
    {"AMovedCopyThatCannotTakeOverSaysWhy", true, S::notFound, std::nullopt, "No permission.", Action::start, 1, 0, 0,
     true, S::notFound, "Could not change automatic startup: No permission."},
};

INSTANTIATE_TEST_SUITE_P(Scenarios, LaunchAtLoginModel, ::testing::ValuesIn(loginCases),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(LaunchAtLoginModel, TheNextChangeClearsAnEarlierError) {
  test::TemporarySettings settings;
  FakeLoginItemService service;
  service.failure = "Busy.";
  LaunchAtLogin model(service, settings.store(), true);
  model.setEnabled(true);
  ASSERT_TRUE(model.offersOpenSettings());
  service.failure.clear();
  service.statusAfterRequest = S::enabled;
  model.setEnabled(true);
  EXPECT_FALSE(model.errorMessage());
  EXPECT_FALSE(model.offersOpenSettings());
  EXPECT_TRUE(model.isToggleOn());
}

struct InstallCase {
  const char *bundle; // below the temporary home; "/..." for absolute paths
  QStringList arguments;
  bool installed;
};

TEST(LaunchAtLoginInstall, OnlyInstalledCopiesOutsideTestRunsMayRegister) {
  QTemporaryDir home;
  ASSERT_TRUE(QDir().mkpath(home.path() + "/Applications/Crel.app"));
  ASSERT_TRUE(QDir().mkpath(home.path() + "/Downloads/Crel.app"));
  ASSERT_TRUE(QFile::link(home.path() + "/Applications/Crel.app", home.path() + "/Desktop-link.app"));
  ASSERT_TRUE(QFile::link(home.path() + "/Downloads/Crel.app", home.path() + "/Applications/Linked.app"));
  const InstallCase cases[] = {
      {"Applications/Crel.app", {}, true},
      {"Applications/Tools/Crel.app", {}, true},
      {".local/opt/Crel.app", {}, true},
      {"/opt/Crel.app", {"--launched-at-login"}, true},
      {"/usr/local/lib/Crel.app", {}, true},
      {"Desktop-link.app", {}, true},         // a link to an installed copy
      {"Applications/Linked.app", {}, false}, // a link out of the folder
      {"Downloads/Crel.app", {}, false},
      {"ApplicationsOld/Crel.app", {}, false},
      {"/optional/Crel.app", {}, false},
      {"/tmp/Crel.app", {}, false},
      {"Applications", {}, false},
      {"Applications/Crel.app", {"--self-test"}, false},
      {"Applications/Crel.app", {"--startup-test"}, false},
      {"Applications/Crel.app", {"a.png", "--login-startup-test"}, false},
      {"Applications/Crel.app", {"--acceptance-test", "F.app"}, false},
      {"Applications/Crel.app", {"--update-acceptance"}, false},
      {"Applications/Crel.app", {"--self-test=1"}, true},
  };
  for (const InstallCase &c : cases) {
    const QString bundle = c.bundle[0] == '/' ? QString(c.bundle) : home.path() + '/' + c.bundle;
    const CommandLine commandLine(QStringList{"crel"} + c.arguments);
    EXPECT_EQ(LaunchAtLogin::isInstalledApplication(commandLine, bundle, home.path()), c.installed)
        << c.bundle << ' ' << qPrintable(c.arguments.join(' '));
  }
}

} // namespace
