#include "ShortcutTestKit.h"
#include "app/AppMenus.h"
#include "app/CaptureShortcut.h"
#include "app/DelegateFixture.h"
#include "app/WelcomeView.h"
#include "document/CrelError.h"

#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <optional>

using namespace crel;
using namespace crel::test;

namespace {

constexpr quint32 kXShift = 0x1, kXControl = 0x4, kXAlt = 0x8;
const CaptureShortcut kCtrlAlt5{0x35, CaptureShortcut::command | CaptureShortcut::option, QStringLiteral("5")};

std::optional<QString> registrationError(ShortcutManager &manager, const CaptureShortcut &shortcut) {
  try {
    manager.registerShortcut(shortcut);
  } catch (const CrelError &error) {
    EXPECT_EQ(error.kind(), CrelError::Kind::shortcut);
    return error.errorDescription();
  }
  return std::nullopt;
}

// Toggles a lock key for the life of the object.
class LockOn {
public:
  explicit LockOn(const char *key) : key_(key) {
    if (*key_)
      pressKeys({key_});
  }
  ~LockOn() {
    if (*key_)
      pressKeys({key_});
  }

private:
  const char *key_;
};

} // namespace

TEST(ShortcutManager, OnePressGivesOneCaptureAfterTheHandlerReturnsWithAnyLockState) {
  for (const char *lock : {"", "Num_Lock", "Caps_Lock"}) {
    SCOPED_TRACE(lock);
    ShortcutRig rig;
    EXPECT_EQ(rig.manager().current(), CaptureShortcut::defaultShortcut());
    rig.manager().registerShortcut(rig.manager().current());
    LockOn locked(lock);

    pressKeys({"ctrl+shift+2"});
    // sync() runs the backend's event handler; the capture must come later,
    // from the event loop, never from inside the handler.
    bool deliveredInsideHandler = false;
    ASSERT_TRUE(QTest::qWaitFor([&] {
      const int before = rig.captures();
      rig.backend().sync();
      deliveredInsideHandler |= rig.captures() != before;
      return rig.captures() > 0;
    }));
    EXPECT_FALSE(deliveredInsideHandler);
    EXPECT_TRUE(rig.waitForCaptures(1));
    EXPECT_EQ(rig.captures(), 1);
  }
}

// A second manager refused while the first holds the keys, and the shortcut
// kept across managers, are rows of the self-test.
TEST(ShortcutManager, ChangingTheShortcutMovesTheGrab) {
  ShortcutRig rig(ShortcutRig::registered);
  rig.manager().registerShortcut(kCtrlAlt5);
  EXPECT_EQ(rig.manager().current(), kCtrlAlt5);
  // In one run, so the server sends whatever fires in this order.
  pressKeys({"ctrl+shift+2", "ctrl+alt+5"});
  EXPECT_TRUE(rig.waitForCaptures(1));
  EXPECT_EQ(rig.captures(), 1);
  ASSERT_EQ(rig.presses().size(), 1u);
  EXPECT_EQ(rig.presses().front(), (HotKeyCombination{0x35, kXControl | kXAlt}));
}

TEST(ShortcutManager, ReRegisteringTheHeldKeyWithAnotherCharacterKeepsTheGrab) {
  ShortcutRig rig(ShortcutRig::registered);
  // Same key and modifiers as read under another layout.
  const CaptureShortcut relabelled{0x32, CaptureShortcut::command | CaptureShortcut::shift, QStringLiteral("é")};
  rig.manager().registerShortcut(relabelled);
  EXPECT_EQ(rig.manager().current(), relabelled);
  EXPECT_EQ(CaptureShortcut::load(rig.settings()), relabelled);

  // Nobody else can take it: the grab is still ours.
  GrabElsewhere other(0x32, kXControl | kXShift);
  EXPECT_FALSE(other.ready());
  pressKeys({"ctrl+shift+2"});
  EXPECT_TRUE(rig.waitForCaptures(1));
  EXPECT_EQ(rig.captures(), 1);
}

TEST(ShortcutManager, RefusesWithoutAnXDisplay) {
  const QByteArray display = qgetenv("DISPLAY");
  qunsetenv("DISPLAY");
  TemporarySettings settings;
  ShortcutManager manager(settings.store());
  qputenv("DISPLAY", display);
  EXPECT_EQ(registrationError(manager, CaptureShortcut::defaultShortcut()),
            "Global shortcuts need an X11 session. Bind this command to a key in your desktop's keyboard settings "
            "instead:\n" +
                QCoreApplication::applicationFilePath() + " --capture");
  EXPECT_FALSE(manager.isRegistered());
  EXPECT_FALSE(settings.store().contains(QStringLiteral("captureShortcut")));
}

namespace {

// The delegate fixture drops $DISPLAY once its manager is made; these tests
// launch with the key grab.
class ShortcutAtLaunch : public Delegate {
protected:
  ShortcutAtLaunch() {
    qputenv("DISPLAY", display);
    tray.available = [this] { return hasTray; };
  }
  bool hasTray = true;
  QString captureItem() { return delegate->menus().statusMenu()->actions().front()->text(); }
  QString settingsRow() { return delegate->welcomeView()->findChild<QLabel *>("shortcut-status")->text(); }
  void takenAtLaunch(const std::function<void(AppDelegate &)> &reopen);
};

} // namespace

// Held by another program at launch: said on top of the settings, shown as
// not working in the settings and the tray menu, and taken as soon as the
// other program lets go and either of them opens.
void ShortcutAtLaunch::takenAtLaunch(const std::function<void(AppDelegate &)> &reopen) {
  GrabElsewhere other(0x32, kXControl | kXShift);
  ASSERT_TRUE(other.ready());
  AppDelegate &app = make();
  app.launch({false, false, true});
  ASSERT_TRUE(QTest::qWaitFor([&] { return !app.lastAlert().isEmpty(); }));
  EXPECT_EQ(app.lastAlert(), "The capture shortcut Ctrl+Shift+2 is in use by another app, so it does not capture "
                             "yet. To choose another, open Settings from the tray menu and click the shortcut. Crel "
                             "tries Ctrl+Shift+2 again whenever Settings or the tray menu opens.");
  QMessageBox *box = nullptr;
  for (QWidget *w : QApplication::topLevelWidgets())
    if (auto *candidate = qobject_cast<QMessageBox *>(w); candidate && candidate->isVisible())
      box = candidate;
  ASSERT_TRUE(box);
  EXPECT_EQ(box->parentWidget(), app.welcomeWindow()) << "on the settings, where the desktop keeps it on top";
  box->done(QMessageBox::Ok);
  Q_EMIT app.menus().statusMenu()->aboutToShow();
  EXPECT_EQ(captureItem(), "Capture an area  Ctrl+Shift+2 — in use by another app");
  EXPECT_EQ(settingsRow(), "Ctrl+Shift+2 — in use by another app");

  other.release();
  reopen(app);
  EXPECT_TRUE(app.shortcuts().isRegistered());
  EXPECT_EQ(settingsRow(), "Available anywhere on this computer");
  Q_EMIT app.menus().statusMenu()->aboutToShow();
  EXPECT_EQ(captureItem(), "Capture an area  Ctrl+Shift+2");
  pressKeys({"ctrl+shift+2"});
  EXPECT_TRUE(QTest::qWaitFor([&] { return bool(pendingStills); }));
}

// Without a tray, the alert names the way to Settings there is.
TEST_F(ShortcutAtLaunch, WithoutATrayATakenShortcutsAlertSaysToStartTheAppAgain) {
  hasTray = false;
  GrabElsewhere other(0x32, kXControl | kXShift);
  ASSERT_TRUE(other.ready());
  AppDelegate &app = make();
  app.launch({true, false, true});
  ASSERT_TRUE(QTest::qWaitFor([&] { return !app.lastAlert().isEmpty(); }));
  EXPECT_EQ(app.lastAlert(), "The capture shortcut Ctrl+Shift+2 is in use by another app, so it does not capture yet. "
                             "To choose another, click the shortcut in Settings; start Crel again to open Settings. "
                             "Crel tries Ctrl+Shift+2 again whenever Settings opens.");
}

TEST_F(ShortcutAtLaunch, ATakenShortcutIsTakenWhenTheTrayMenuOpensAfterTheOtherProgramLetGo) {
  takenAtLaunch([](AppDelegate &app) { Q_EMIT app.menus().statusMenu()->aboutToShow(); });
}

TEST_F(ShortcutAtLaunch, ATakenShortcutIsTakenWhenTheSettingsOpenAfterTheOtherProgramLetGo) {
  takenAtLaunch([](AppDelegate &app) { app.showWelcome(); });
}

// The keyboard-shortcuts window reads the shortcut each time it is shown,
// and showing it leaves the application as active as it was.
TEST_F(ShortcutAtLaunch, TheShortcutsWindowShowsTheCurrentShortcutAndDoesNotActivateTheApplication) {
  AppDelegate &app = make();
  app.launch({true, false, true});
  ASSERT_TRUE(app.shortcuts().isRegistered());
  ASSERT_TRUE(QTest::qWaitFor([] { return QGuiApplication::applicationState() != Qt::ApplicationActive; }));
  const auto captureLine = [&] { return app.shortcutsWindow()->findChild<QLabel *>("capture-line")->text(); };
  app.showShortcuts();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(app.shortcutsWindow()));
  EXPECT_EQ(captureLine(), "Capture anywhere: Ctrl+Shift+2. Change it in Settings.");
  EXPECT_FALSE(QTest::qWaitFor([] { return QApplication::activeWindow() != nullptr; }, 500));

  app.shortcutsWindow()->close();
  shortcuts.registerShortcut(*CaptureShortcut::from(0x6b, CaptureShortcut::command | CaptureShortcut::option));
  app.showShortcuts();
  EXPECT_EQ(captureLine(), "Capture anywhere: Ctrl+Alt+K. Change it in Settings.");
}
