#include "LaunchMode.h"

#include "platform/files/AppIdentity.h"

namespace crel {

namespace {

struct Row {
  const char *flag;
  LaunchMode mode;
  std::optional<ActivationPolicy> policy;
  bool takesPath;
  bool runsHeadless;
};

constexpr auto prohibited = ActivationPolicy::prohibited;

// Rows 2 to 9 and the hidden installer helper; row 1 looks at the identity only and row 10 is the rest.
const Row switchRows[] = {
    {"--self-test", LaunchMode::selfTest, prohibited, false, true},
    {"--render-styles", LaunchMode::renderStyles, prohibited, true, true},
    {"--export-arrow-svg", LaunchMode::exportArrowSvg, prohibited, true, true},
    {"--render-editor", LaunchMode::renderEditor, prohibited, true, true},
    {"--capture-editor-live", LaunchMode::captureEditorLive, ActivationPolicy::accessory, true, false},
    {"--render-settings", LaunchMode::renderSettings, prohibited, true, true},
    {"--diagnostics", LaunchMode::diagnostics, std::nullopt, false, true},
    {"--permission-diagnostics", LaunchMode::permissionDiagnostics, std::nullopt, false, true},
    {"--update-installer", LaunchMode::updateInstaller, prohibited, true, true},
};

} // namespace

LaunchChoice chooseLaunch(const CommandLine &commandLine, const std::optional<QString> &bundleIdentifier) {
  if (bundleIdentifier == QLatin1String(AppIdentity::fixtureIdentifier))
    return {LaunchMode::fixture, std::nullopt, false, {}, {}};
  for (const Row &row : switchRows) {
    const QString flag = QLatin1String(row.flag);
    if (!row.takesPath) {
      if (commandLine.has(flag))
        return {row.mode, row.policy, row.runsHeadless, {}, flag};
    } else if (const std::optional<QString> path = commandLine.pathAfter(flag)) {
      return {row.mode, row.policy, row.runsHeadless, *path, flag};
    }
  }
  return {LaunchMode::application, std::nullopt, false, {}, {}};
}

std::vector<TestHook> testHooks(const CommandLine &commandLine) {
  std::vector<TestHook> hooks;
  const auto folder = commandLine.pathAfter(QStringLiteral("--update-acceptance"));
  const auto scenario = commandLine.valueAfter(QStringLiteral("--update-scenario"));
  // One run drives the application at a time: both would fight over it.
  if (folder && scenario)
    hooks.push_back({TestHook::Kind::updateAcceptance, {*folder, *scenario}});
  else if (const auto fixture = commandLine.pathAfter(QStringLiteral("--acceptance-test")))
    hooks.push_back({TestHook::Kind::acceptance, {*fixture}});
  const QString login = QStringLiteral("--login-startup-test"), plain = QStringLiteral("--startup-test");
  if (commandLine.has(login))
    hooks.push_back({TestHook::Kind::startupCheck, {login}});
  else if (commandLine.has(plain))
    hooks.push_back({TestHook::Kind::startupCheck, {plain}});
  return hooks;
}

bool switchTakesValue(const QString &argument) {
  for (const Row &row : switchRows)
    if (row.takesPath && argument == QLatin1String(row.flag))
      return true;
  // The hooks' and the live editor capture's own.
  for (const char *flag :
       {"--update-acceptance", "--update-scenario", "--acceptance-test", "--fixture", "--marks", "--title", "--size"})
    if (argument == QLatin1String(flag))
      return true;
  return false;
}

bool isTestRun(const CommandLine &commandLine) {
  for (const char *flag :
       {"--self-test", "--startup-test", "--login-startup-test", "--acceptance-test", "--update-acceptance"})
    if (commandLine.has(QLatin1String(flag)))
      return true;
  return false;
}

} // namespace crel
