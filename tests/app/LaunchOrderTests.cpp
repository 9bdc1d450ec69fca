#include "support/LaunchProcess.h"

#include "app/CommandLine.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace crel;
using namespace crel::test;

namespace {

// The launch probe prints "MODE <row> <path>" for the mode the real launch
// chose, and "HOOK <kind> <values>" for each test hook the application would
// schedule ({cwd} stands for the folder it runs in).
struct OrderCase {
  const char *name;
  QStringList arguments;
  const char *expected;
};

void PrintTo(const OrderCase &c, std::ostream *os) { *os << c.name; }

class LaunchOrder : public ::testing::TestWithParam<OrderCase> {};

TEST_P(LaunchOrder, FirstApplicableRowWins) {
  const OrderCase &c = GetParam();
  QTemporaryDir home;
  const ProcessResult run =
      runProgram(QStringLiteral(CREL_LAUNCH_PROBE), c.arguments, isolatedEnvironment(home.path()), home.path());
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.status, 0) << qPrintable(run.err);
  EXPECT_EQ(run.out.toStdString(), QString::fromUtf8(c.expected).replace("{cwd}", home.path()).toStdString());
  EXPECT_EQ(run.err.toStdString(), "");
}

const OrderCase orderCases[] = {
    {"NoSwitchIsTheApplication", {}, "MODE 10 \n"},
    {"SelfTestBeforeDiagnostics", {"--diagnostics", "--self-test"}, "MODE 2 \n"},
    {"SelfTestBeforeDiagnosticsEitherOrder", {"--self-test", "--diagnostics"}, "MODE 2 \n"},
    {"PathSwitchLastIsIgnored", {"--render-styles"}, "MODE 10 \n"},
    {"PathSwitchLastFallsToALaterRow", {"--diagnostics", "--render-styles"}, "MODE 8 \n"},
    {"SelfTestComesBeforeTheStylesItsPathWouldBe", {"--render-styles", "--self-test"}, "MODE 2 \n"},
    {"StylesBeforeEditorEachWithItsFolder",
     {"--render-editor", "editor", "--render-styles", "styles"},
     "MODE 3 {cwd}/styles\n"},
    {"ValueStartingWithDashesIsTakenUnchanged", {"--render-editor", "--quick"}, "MODE 5 {cwd}/--quick\n"},
    {"FirstOccurrenceGivesThePath", {"--render-styles", "a", "--render-styles", "b"}, "MODE 3 {cwd}/a\n"},
    {"AbsolutePathKept", {"--export-arrow-svg", "/x/arrow.svg"}, "MODE 4 /x/arrow.svg\n"},
    {"LiveCaptureBeforeSettingsAndDiagnostics",
     {"--permission-diagnostics", "--render-settings", "s", "--capture-editor-live", "l"},
     "MODE 6 {cwd}/l\n"},
    {"SettingsBeforeDiagnostics", {"--diagnostics", "--render-settings", "s"}, "MODE 7 {cwd}/s\n"},
    {"PermissionDiagnostics", {"--permission-diagnostics"}, "MODE 9 \n"},
    {"NoEqualsFormsOrAbbreviations", {"--self-test=1", "--diag", "-diagnostics", "--render-styles=x"}, "MODE 10 \n"},
    {"AcceptanceAndStartupBothScheduledAcceptanceFirst",
     {"--startup-test", "--acceptance-test", "Fixture.app"},
     "MODE 10 \nHOOK 1 {cwd}/Fixture.app\nHOOK 2 --startup-test\n"},
    {"UpdateAcceptanceNeedsItsScenario",
     {"--update-acceptance", "updates", "--login-startup-test"},
     "MODE 10 \nHOOK 2 --login-startup-test\n"},
    {"ScenarioWithoutFolderSchedulesNothing", {"--update-scenario", "quiet"}, "MODE 10 \n"},
    // One acceptance run drives the application: the update scenario wins.
    {"AllHooksInTableOrderWithOneAcceptanceRun",
     {"--startup-test", "--login-startup-test", "--acceptance-test", "F", "--update-scenario", "quiet",
      "--update-acceptance", "u"},
     "MODE 10 \nHOOK 0 {cwd}/u quiet\nHOOK 2 --login-startup-test\n"},
};

INSTANTIATE_TEST_SUITE_P(Rows, LaunchOrder, ::testing::ValuesIn(orderCases),
                         [](const auto &info) { return std::string(info.param.name); });

// A copy of the probe inside an application directory with `identifier`.
QString probeInBundle(const QString &root, const QString &identifier) {
  const QString bundle = root + "/Copy.app";
  if (!QDir().mkpath(bundle + "/bin") || !QFile::copy(QStringLiteral(CREL_LAUNCH_PROBE), bundle + "/bin/crel"))
    return {};
  QFile info(bundle + "/Info.json");
  if (!info.open(QIODevice::WriteOnly))
    return {};
  info.write(QStringLiteral(R"({"CFBundleIdentifier": "%1"})").arg(identifier).toUtf8());
  return bundle + "/bin/crel";
}

TEST(LaunchOrderIdentity, TheFixtureCopyIgnoresEverySwitchOtherCopiesDoNot) {
  QTemporaryDir fixture, other;
  const QString fixtureProbe = probeInBundle(fixture.path(), "co.quorvex.crel-acceptance-fixture");
  const QString otherProbe = probeInBundle(other.path(), "co.quorvex.crel-acceptance-fixture-2");
  ASSERT_FALSE(fixtureProbe.isEmpty());
  ASSERT_FALSE(otherProbe.isEmpty());
  const QStringList arguments{"--self-test", "--diagnostics", "--render-styles", "x"};
  // Even where the test environment names another bundle.
  QProcessEnvironment environment = isolatedEnvironment(fixture.path());
  environment.insert("CREL_BUNDLE_DIR", other.path() + "/Copy.app");
  EXPECT_EQ(runProgram(fixtureProbe, arguments, environment).out, "MODE 1 \n");
  EXPECT_EQ(runProgram(otherProbe, arguments, isolatedEnvironment(other.path())).out, "MODE 2 \n");
}

TEST(LaunchOrderFailure, AThrowingModeGivesOneFailLineAfterItsOwnOutput) {
  QTemporaryDir home;
  for (const QStringList &arguments :
       {QStringList{"--render-styles", "/out/throw"}, QStringList{"--render-settings", "throw"}}) {
    const ProcessResult run =
        runProgram(QStringLiteral(CREL_LAUNCH_PROBE), arguments, isolatedEnvironment(home.path()), home.path());
    ASSERT_TRUE(run.finished);
    EXPECT_FALSE(run.crashed);
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.out.startsWith("MODE ")) << qPrintable(run.out);
    EXPECT_EQ(run.out.count('\n'), 1);
    EXPECT_EQ(run.err.toStdString(), "FAIL: probe mode failed\n");
  }
}

struct LoginCase {
  QStringList arguments;
  bool loginLaunch;
};

TEST(LoginLaunch, RecognisedOnlyByTheWholeMarkerArgument) {
  const LoginCase cases[] = {
      {{"crel", "a.png", "--launched-at-login", "--capture"}, true},
      {{"crel", "--launched-at-login=1"}, false},
      {{"crel", "--launched-as-service"}, false},
      {{"crel", "--launched-at-login-x"}, false},
      {{"--launched-at-login"}, false}, // the program path is not an argument
  };
  for (const LoginCase &c : cases)
    EXPECT_EQ(CommandLine(c.arguments).isLoginLaunch(), c.loginLaunch) << qPrintable(c.arguments.join(' '));
}

} // namespace
