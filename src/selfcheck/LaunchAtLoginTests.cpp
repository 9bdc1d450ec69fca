#include "LaunchAtLoginTests.h"

#include "Check.h"
#include "IsolatedSettings.h"

#include "app/CommandLine.h"
#include "app/LaunchAtLogin.h"
#include "platform/desktop/AppTheme.h"
#include "platform/desktop/AutostartLoginItem.h"
#include "platform/files/FileError.h"

namespace crel::NativeTests::LaunchAtLoginTests {

namespace {

// The desktop's login item record as the suite scripts it: every request
// counts; a failing one throws and leaves the status alone.
class Service final : public LoginItemService {
public:
  LoginItemStatus status() const override { return current; }
  void registerItem() override {
    ++registrations;
    if (fail)
      throw FileError(QStringLiteral("Registration unavailable"));
    current = LoginItemStatus::enabled;
  }
  void unregisterItem() override {
    ++removals;
    if (fail)
      throw FileError(QStringLiteral("Unregistration unavailable"));
    current = LoginItemStatus::notRegistered;
  }
  void openSettings() override {}

  LoginItemStatus current = LoginItemStatus::notRegistered;
  int registrations = 0;
  int removals = 0;
  bool fail = false;
};

// A fresh installation: nothing decided yet.
void forgetEverything(SettingsStore &defaults) {
  for (const QString &key : defaults.keys())
    defaults.remove(key);
  defaults.sync();
}

void launchRuleChecks() {
  const QString program = QStringLiteral("crel");
  expect(!CommandLine::isLoginLaunch({program}), QStringLiteral("Ordinary opening is not mistaken for login startup"));
  expect(CommandLine::isLoginLaunch({program, QLatin1String(AutostartLoginItem::loginArgument)}),
         QStringLiteral("The autostart login launch is recognized"));
  expect(!CommandLine::isLoginLaunch({program, QStringLiteral("--launched-by-service")}),
         QStringLiteral("Other service launches do not suppress normal opening"));
}

} // namespace

void run(const QDir &root) {
  IsolatedSettings isolated(root.path(), QStringLiteral("login-tests-"));
  SettingsStore &defaults = isolated.store();
  Service service;
  const auto launch = [&](bool canRegister = true) {
    return std::make_unique<LaunchAtLogin>(service, defaults, canRegister);
  };
  const QString initialized = QLatin1String(LaunchAtLogin::initializedKey);

  const auto a = launch(false);
  a->start();
  a->setEnabled(true);
  expect(service.registrations == 0 && !defaults.contains(initialized),
         QStringLiteral("Temporary and test copies do not register or consume the first-installed-launch default"));

  const auto b = launch();
  b->start();
  expect(b->status() == LoginItemStatus::enabled && service.registrations == 1,
         QStringLiteral("First installed launch enables automatic startup for new and existing users"));
  launch()->start();
  expect(service.registrations == 1, QStringLiteral("Relaunch does not duplicate the login item"));

  b->setEnabled(false);
  launch()->start();
  expect(service.current == LoginItemStatus::notRegistered && service.registrations == 1 && service.removals == 1,
         QStringLiteral("Turning startup off survives relaunch"));
  b->setEnabled(true);
  expect(b->status() == LoginItemStatus::enabled && service.registrations == 2,
         QStringLiteral("Startup can be enabled again explicitly"));

  service.current = LoginItemStatus::requiresApproval;
  b->refreshStatus();
  launch()->start();
  expect(b->status() == LoginItemStatus::requiresApproval && service.registrations == 2,
         QStringLiteral("Revoking approval in your desktop's settings is reflected accurately and is never "
                        "overridden on relaunch"));
  service.current = LoginItemStatus::notRegistered;
  launch()->start();
  expect(service.registrations == 2,
         QStringLiteral("Removing the item in your desktop's settings is respected on subsequent launches"));

  forgetEverything(defaults);
  service.current = LoginItemStatus::requiresApproval;
  launch()->start();
  expect(service.registrations == 2,
         QStringLiteral("First launch respects an existing approval requirement in your desktop's settings"));

  forgetEverything(defaults);
  service.current = LoginItemStatus::notRegistered;
  service.fail = true;
  const auto h = launch();
  h->start();
  expect(h->status() != LoginItemStatus::enabled && h->errorMessage() && !defaults.value(initialized).toBool(),
         QStringLiteral("Registration errors remain visible without falsely saving a successful default"));
  service.fail = false;
  launch()->start();
  expect(service.current == LoginItemStatus::enabled,
         QStringLiteral("A transient first-launch failure can recover on the next launch"));
  service.fail = true;
  const auto j = launch();
  j->setEnabled(false);
  expect(j->status() == LoginItemStatus::enabled && j->errorMessage(),
         QStringLiteral("Failed removal preserves the actual enabled state"));

  forgetEverything(defaults);
  service.current = LoginItemStatus::notFound;
  service.fail = false;
  launch()->start();
  expect(service.current == LoginItemStatus::enabled,
         QStringLiteral("An installed app without a prior autostart entry can register on first launch"));

  launchRuleChecks();

  const QColor primary = AppTheme::primary();
  expect(primary.isValid() && primary.spec() == QColor::Rgb && primary.alphaF() == 1.0,
         QStringLiteral("Native brand is loaded as an opaque sRGB color from the packaged shared configuration"));
}

} // namespace crel::NativeTests::LaunchAtLoginTests
