#include "support/TestSupport.h"

#include "app/LaunchAtLogin.h"
#include "app/ShortcutManager.h"
#include "app/WelcomeView.h"
#include "document/AnnotationPreferences.h"
#include "document/CrelError.h"
#include "document/EditorSizePreferences.h"
#include "platform/desktop/LoginItemService.h"
#include "platform/shortcuts/HotKeyBackend.h"

#include <QLabel>

#include <gtest/gtest.h>

using namespace crel;

namespace {

// The desktop's shortcut service as a test drives it.
class FakePortal : public GlobalShortcutPortal {
public:
  void bind(const QString &id, const QString &description, const QString &trigger) override {
    binds.push_back({id, description, trigger});
  }
  std::vector<QStringList> binds;
};

// A Wayland session, with or without the portal: never a grab through
// XWayland, which would fire only while an X11 window has the keyboard.
struct WaylandRig {
  explicit WaylandRig(bool portal, const QString &program = "/opt/Crel.app/bin/crel") {
    ShortcutManager::Desktop desktop{true, nullptr, program};
    if (portal) {
      auto fake = std::make_unique<FakePortal>();
      this->portal = fake.get();
      desktop.portal = std::move(fake);
    }
    manager =
        std::make_unique<ShortcutManager>(settings.store(), std::make_unique<HotKeyBackend>(), std::move(desktop));
    manager->setOnCapture(nullptr, [this] { ++captures; });
  }
  QString settingsRow() {
    LaunchAtLogin login(loginService, settings.store(), true);
    AnnotationPreferences annotation(settings.store());
    EditorSizePreferences sizes(settings.store());
    WelcomeView view(*manager, login, annotation, sizes, {});
    return view.findChild<QLabel *>("shortcut-status")->text();
  }

  test::TemporarySettings settings;
  FakeLoginItemService loginService;
  FakePortal *portal = nullptr;
  std::unique_ptr<ShortcutManager> manager;
  int captures = 0;
};

QString bindText(const QString &command = "/opt/Crel.app/bin/crel --capture") {
  return "Bind the command '" + command +
         "' to a key in your desktop's keyboard settings: on Wayland only the "
         "desktop can give the app a shortcut that works in every window.";
}

} // namespace

TEST(WaylandShortcut, WithoutThePortalTheSettingsAndTheFirstLaunchSayHowToBindTheCommand) {
  WaylandRig rig(false);
  EXPECT_FALSE(rig.manager->retry());
  EXPECT_EQ(rig.manager->problem(), ShortcutManager::Problem::desktopBinding);
  EXPECT_EQ(rig.manager->statusLabel(), bindText());
  EXPECT_EQ(rig.settingsRow(), bindText()) << "never \"Available anywhere\"";
  const QString first = rig.manager->takeLaunchProblem();
  EXPECT_TRUE(first.contains("'/opt/Crel.app/bin/crel --capture'")) << first.toStdString();
  EXPECT_TRUE(first.contains(R"('bindsym Ctrl+Shift+2 exec "/opt/Crel.app/bin/crel --capture"')"))
      << first.toStdString();
  EXPECT_EQ(rig.manager->takeLaunchProblem(), "") << "said once";
  EXPECT_EQ(ShortcutManager(rig.settings.store(), {}, ShortcutManager::Desktop{true, nullptr}).takeLaunchProblem(), "")
      << "not again at the next launch";
  try {
    rig.manager->registerShortcut(*CaptureShortcut::from(0x6b, CaptureShortcut::command));
    ADD_FAILURE() << "recorded a shortcut that could not work";
  } catch (const CrelError &error) {
    EXPECT_EQ(error.errorDescription(), bindText());
  }
  EXPECT_FALSE(rig.manager->isRegistered());
}

// Quoted as each desktop reads the command: a shell and GNOME's splitting;
// KDE's entries, where "%" starts a field code; sway's config, which reads
// ";", ",", "$", backslashes and quotes before sh does.
TEST(WaylandShortcut, TheCommandNamesThisCopyQuotedForEachDesktop) {
  const struct {
    QString program, shell, sway, kde;
  } rows[]{
      {"/a b/crel", "'/a b/crel' --capture", R"("'/a b/crel' --capture")", {}},
      {"/a'b/crel", R"('/a'\''b/crel' --capture)", R"("'/a'\\''b/crel' --capture")", {}},
      {"/a;b,c/crel", "'/a;b,c/crel' --capture", R"("'/a;b,c/crel' --capture")", {}},
      {"/$mod/crel", "'/$mod/crel' --capture", R"("'/'\$'mod/crel' --capture")", {}},
      {"/100%/crel", "/100%/crel --capture", R"("/100%/crel --capture")", "/100%%/crel --capture"},
      {"/~a/crel", "'/~a/crel' --capture", R"("'/~a/crel' --capture")", {}},
      {R"(/"a"\b/crel)", R"('/"a"\b/crel' --capture)", R"("'/'\\\"'a'\\\"'\\b/crel' --capture")", {}},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.program.toStdString());
    WaylandRig rig(false, row.program);
    rig.manager->retry();
    EXPECT_EQ(rig.manager->statusLabel(), bindText(row.shell));
    const QString first = rig.manager->takeLaunchProblem();
    EXPECT_TRUE(first.contains("command '" + row.shell + "' to a key such as")) << first.toStdString();
    EXPECT_TRUE(first.contains("'bindsym Ctrl+Shift+2 exec " + row.sway + "'.")) << first.toStdString();
    EXPECT_EQ(first.contains("Add New > Command as '" + row.kde + "'"), !row.kde.isEmpty()) << first.toStdString();
  }
}

TEST(WaylandShortcut, ThePortalBindsTheShortcutAndItsPressesCapture) {
  WaylandRig rig(true);
  EXPECT_FALSE(rig.manager->retry()) << "works only once the desktop says so";
  ASSERT_EQ(rig.portal->binds.size(), 1u);
  EXPECT_EQ(rig.portal->binds[0], (QStringList{"capture", "Capture an area", "CTRL+SHIFT+2"}));
  rig.manager->retry();
  EXPECT_EQ(rig.portal->binds.size(), 1u) << "one request at a time";

  Q_EMIT rig.portal->bound("Ctrl+Shift+2");
  EXPECT_TRUE(rig.manager->isRegistered());
  EXPECT_EQ(rig.settingsRow(), "Available anywhere on this computer");
  Q_EMIT rig.portal->activated("capture");
  Q_EMIT rig.portal->activated("other");
  EXPECT_EQ(rig.captures, 1);

  // A recorded shortcut is offered to the desktop in place of the old one.
  rig.manager->registerShortcut(*CaptureShortcut::from(0x6b, CaptureShortcut::command | CaptureShortcut::option));
  ASSERT_EQ(rig.portal->binds.size(), 2u);
  EXPECT_EQ(rig.portal->binds[1][2], "CTRL+ALT+k");
  Q_EMIT rig.portal->failed();
  EXPECT_FALSE(rig.manager->isRegistered());
  EXPECT_EQ(rig.settingsRow(), bindText());
}
