// The shell's window rules under a real window manager and tray: openbox
// frames the editors, trayer holds the XEmbed status icon Qt draws itself.

#include "../DelegateFixture.h"

#include "app/UpdateSessionStore.h"
#include "document/EditorSizePreferences.h"
#include "document/MarkSamples.h"
#include "editor/EditorController.h"
#include "editor/EditorWindow.h"

#include <QMessageBox>
#include <QProcess>
#include <QSystemTrayIcon>

using namespace crel;

namespace {

// Taken before the fixture hides it from the shortcut's key grab.
const QString display = qEnvironmentVariable("DISPLAY");

class WindowManagerShell : public test::Delegate {
protected:
  ~WindowManagerShell() override {
    test::hideTopLevelWindows();
    delegate.reset();
    if (otherProgram.state() != QProcess::NotRunning) {
      otherProgram.terminate();
      otherProgram.waitForFinished(5000);
    }
  }

  // The launch's own alert (no shortcut without a display here) is answered.
  void launch(SessionStore *store, const LaunchOptions &options) {
    make(nullptr, store).launch(options);
    answerAlerts();
  }

  EditorController &open(int seed) {
    auto doc = std::make_unique<CrelDocument>(test::filledImage({500, 360}, QColor::fromHsv(seed * 90, 80, 230)),
                                              AnnotationPreferences::shared());
    doc->enableAutosave(pictures.filePath("shots"), QString("Shot %1").arg(seed));
    doc->commit({test::makeMark(MarkTool::arrow, {20, 20}, {200, 160}, 5)});
    doc->flushAutosave();
    return present(std::move(doc));
  }

  QProcess otherProgram; // trayer, or another program's window
};

// xdotool on the test bed's display (the fixture hides it from this process); what it printed.
QByteArray xdotool(const QStringList &args) {
  QProcess process;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert("DISPLAY", display);
  process.setProcessEnvironment(environment);
  process.start("xdotool", args);
  // Our events go on meanwhile: activating one of our windows may need its answer.
  const bool ended = QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 10000);
  return ended ? process.readAllStandardOutput().trimmed() : QByteArray();
}

bool framed(const QWidget &window) { return window.frameGeometry().size() != window.geometry().size(); }

std::string text(const QRect &r) {
  return QString("(%1,%2 %3x%4)").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height()).toStdString();
}

bool near(const QRect &a, const QRect &b) {
  return std::abs(a.left() - b.left()) <= 1 && std::abs(a.top() - b.top()) <= 1 &&
         std::abs(a.right() - b.right()) <= 1 && std::abs(a.bottom() - b.bottom()) <= 1;
}

} // namespace

// Saved for an update and reopened, an editor is where the user left it,
// title bar and all, however often it goes round.
TEST_F(WindowManagerShell, RestoredEditorsKeepTheirPlaceUnderTheWindowManager) {
  UpdateSessionStore file(pictures.filePath("UpdateSession.json"));
  launch(&file, {});
  for (int i = 0; i < 2; ++i) {
    QWidget &window = *open(i).window();
    const QPoint place(160 + 90 * i, 90 + 70 * i);
    ASSERT_TRUE(QTest::qWaitFor([&] { return framed(window); }, 10000)) << "openbox frames the editor";
    window.move(place);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.frameGeometry().topLeft() == place; }, 10000));
  }
  // Where they are as they are saved (an editor may still settle after its frame arrived).
  std::vector<QRect> frames;
  for (const auto &editor : delegate->editors())
    frames.push_back(editor->window()->frameGeometry());
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    file.save(delegate->editors());
    launch(&file, {});
    ASSERT_EQ(delegate->editors().size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
      const QWidget &window = *delegate->editors()[i]->window();
      (void)QTest::qWaitFor([&] { return framed(window) && near(window.frameGeometry(), frames[i]); }, 5000);
      EXPECT_TRUE(near(window.frameGeometry(), frames[i]))
          << i << ": " << text(window.frameGeometry()) << " saved as " << text(frames[i]);
    }
  }
}

// Qt's status icon in an XEmbed tray is a top-level widget of the application, but no window
// the user opened: with it docked and nothing open, the application is idle.
TEST_F(WindowManagerShell, TheTrayIconIsNoWindowForTheIdleRule) {
  qunsetenv("CREL_STATUS_ITEM");
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert("DISPLAY", display);
  otherProgram.setProcessEnvironment(environment);
  otherProgram.start("trayer", {"--edge", "top", "--align", "right", "--widthtype", "request", "--height", "24",
                                "--SetDockType", "true"});
  ASSERT_TRUE(otherProgram.waitForStarted(10000)) << "trayer is installed by scripts/install-deps";
  ASSERT_TRUE(QTest::qWaitFor([] { return QSystemTrayIcon::isSystemTrayAvailable(); }, 10000));
  launch(nullptr, {true, false, false});
  const auto docked = [] {
    for (QWidget *w : QApplication::topLevelWidgets())
      if (w->isVisible() && w->inherits("QSystemTrayIconSys"))
        return true;
    return false;
  };
  ASSERT_TRUE(QTest::qWaitFor(docked, 10000)) << "the icon docks in the tray";
  // Qt keeps an application active once it was, even with no window left:
  // this case runs in a process of its own (app.x11.tray_idle).
  ASSERT_NE(QGuiApplication::applicationState(), Qt::ApplicationActive);
  clock = clock.addSecs(61);
  EXPECT_TRUE(updates.idle());
  // The hand-back and the reopen rule see the same windows.
  std::vector<std::unique_ptr<ShellWindow>> windows = delegate->windows().windows();
  EXPECT_TRUE(std::none_of(windows.begin(), windows.end(), [](const auto &w) { return w->isVisible(); }));
}

// The welcome window minimised, or closed through the window manager, and
// another program's window focused: nothing of ours is on screen, so the
// quiet install may come, whatever Qt still says of the window's and the
// application's state.
TEST_F(WindowManagerShell, AClosedWelcomeWindowLeavesTheApplicationIdle) {
  launch(nullptr, {});
  QWidget *welcome = delegate->welcomeWindow();
  ASSERT_TRUE(welcome);
  const auto otherInFront = [] { return xdotool({"getactivewindow", "getwindowname"}) == "other-program"; };
  // Focused as openbox sees it, so that its Alt+F4 closes this window.
  const auto focusWelcome = [&] {
    xdotool({"windowactivate", "--sync", QString::number(welcome->winId())});
    return QTest::qWaitForWindowActive(welcome);
  };
  ASSERT_TRUE(focusWelcome());
  xdotool({"windowminimize", "--sync", QString::number(welcome->winId())});
  ASSERT_TRUE(QTest::qWaitFor([&] { return welcome->isMinimized(); }, 10000)) << "openbox minimises it";
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert("DISPLAY", display);
  otherProgram.setProcessEnvironment(environment);
  otherProgram.start("xmessage", {"-title", "other-program", "another program"});
  ASSERT_TRUE(otherProgram.waitForStarted(10000)) << "xmessage is installed by scripts/install-deps";
  ASSERT_TRUE(QTest::qWaitFor(otherInFront, 10000)) << "openbox focuses the other program";
  clock = clock.addSecs(61);
  EXPECT_TRUE(updates.idle()) << "minimised";

  ASSERT_TRUE(focusWelcome());
  xdotool({"key", "--clearmodifiers", "alt+F4"});
  ASSERT_TRUE(QTest::qWaitFor([&] { return !welcome->isVisible(); }, 10000)) << "openbox closes it";
  ASSERT_TRUE(QTest::qWaitFor(otherInFront, 10000)) << "openbox focuses the other program";
  clock = clock.addSecs(61);
  EXPECT_TRUE(updates.idle()) << "closed";
  // Qt says active until one of our windows is active and then hidden by us,
  // as the next test's start expects.
  delegate->showWelcome();
  xdotool({"windowactivate", "--sync", QString::number(welcome->winId())});
  EXPECT_TRUE(QTest::qWaitForWindowActive(welcome));
}

// A request with a file that did not open ends with the window it shows in
// front, key, and the alert as its sheet: a batch while another editor is
// key shows its editor; a first launch with nothing to open, the settings.
TEST_F(WindowManagerShell, ABatchEndsWithItsLastEditorKeyAndItsAlertOnIt) {
  const QString fresh = pictures.filePath("fresh.png");
  ASSERT_TRUE(test::filledImage({300, 200}, Qt::darkCyan).save(fresh));
  const QString missing = pictures.filePath("missing.png");
  const struct {
    const char *name;
    std::function<QWidget *()> request; // the window the request shows
  } rows[] = {
      {"a batch while another editor is key",
       [&]() -> QWidget * {
         launch(nullptr, {true, false, true});
         QWidget &earlier = *open(0).window();
         earlier.activateWindow();
         EXPECT_TRUE(QTest::qWaitForWindowActive(&earlier));
         bool answered = false;
         delegate->openFilesInBackground({fresh, missing}, 0, [&](bool) { answered = true; });
         EXPECT_TRUE(QTest::qWaitFor([&] { return answered; }, 10000));
         EXPECT_EQ(delegate->editors().size(), 2u);
         return delegate->editors().back()->window();
       }},
      {"a first launch whose one file fails",
       [&]() -> QWidget * {
         QStringList alerts;
         QObject::connect(&make(), &AppDelegate::alertShown, [&](const QString &text) { alerts << text; });
         delegate->launch({false, false, true, {missing}});
         // Any other alert of the launch is answered.
         EXPECT_TRUE(QTest::qWaitFor([&] { return !alerts.filter("missing").isEmpty(); }, 10000));
         QCoreApplication::processEvents();
         for (QWidget *w : QApplication::topLevelWidgets())
           if (auto *box = qobject_cast<QMessageBox *>(w); box && box->isVisible() && !box->text().contains("missing"))
             box->done(QMessageBox::Ok);
         return delegate->welcomeWindow();
       }},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.name);
    QWidget *shown = row.request();
    ASSERT_TRUE(shown && shown->isVisible());
    QMessageBox *alert = nullptr;
    for (QWidget *w : QApplication::topLevelWidgets())
      if (auto *box = qobject_cast<QMessageBox *>(w); box && box->isVisible())
        alert = box;
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->parentWidget(), shown) << "the alert is a sheet on the window the request shows";
    EXPECT_TRUE(alert->text().contains("missing.png")) << alert->text().toStdString();
    EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == alert; }, 5000)) << "on top, key";
    alert->done(QMessageBox::Ok);
    EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == shown; }, 5000));
    // Still so once the window manager settled.
    QTest::qWait(500);
    EXPECT_EQ(QApplication::activeWindow(), shown);
    test::hideTopLevelWindows();
  }
}

// Whatever brings a window with a sheet forward, a capture request or a
// later launch, its sheet keeps the keyboard, so Return answers it at once:
// on the settings and on an editor alike.
TEST_F(WindowManagerShell, ASheetBroughtForwardKeepsTheKeyboard) {
  launch(nullptr, {});
  QWidget *welcome = delegate->welcomeWindow();
  QWidget *editor = open(0).window();
  ASSERT_TRUE(welcome && QTest::qWaitFor([&] { return framed(*welcome) && framed(*editor); }, 10000));
  const struct {
    const char *name;
    std::function<void()> request;
  } requests[] = {{"a capture request", [&] { delegate->newCapture(); }},
                  {"a later launch", [&] { delegate->reopen(); }}};
  for (QWidget *owner : {welcome, editor})
    for (const auto &request : requests) {
      SCOPED_TRACE(owner->objectName().toStdString() + ", " + request.name);
      delegate->report("bad.png is not an image.", owner);
      const QPointer<QMessageBox> alert = qobject_cast<QMessageBox *>(WidgetWindow::attachedSheet(*owner));
      ASSERT_TRUE(alert && QTest::qWaitForWindowActive(alert));
      // A key pressed, as the shortcut's own press: the X server takes no
      // focus change older than the last event the application saw.
      xdotool({"key", "shift"});
      request.request();
      // Until the window manager has settled.
      QTest::qWait(500);
      EXPECT_EQ(QApplication::activeWindow(), alert);
      EXPECT_EQ(capture.phase(), CaptureCoordinator::Phase::idle);
      xdotool({"key", "--clearmodifiers", "Return"});
      EXPECT_TRUE(QTest::qWaitFor([&] { return !alert || !alert->isVisible(); }, 5000)) << "Return answers it";
      if (alert)
        alert->done(QMessageBox::Ok);
    }
}

// An editor closed with the keyboard, and at once every window hidden before
// the window manager gave the keyboard back: the application goes inactive.
TEST_F(WindowManagerShell, AWindowClosedWithTheKeyboardAsEveryWindowHidesLeavesTheApplicationInactive) {
  launch(nullptr, {});
  QWidget *editor = open(0).window();
  ASSERT_TRUE(QTest::qWaitForWindowActive(editor));
  editor->close();
  test::hideTopLevelWindows();
}

// The last window of ours that had the keyboard goes (an editor closed with
// Ctrl+W, a lone alert answered with Return) and another program takes it;
// Qt still calls the application active. The login item switched off in
// the desktop meanwhile: the settings, brought forward (or shown again
// without asking the delegate), read it afresh.
TEST_F(WindowManagerShell, TheSettingsReadTheLoginItemAfreshAfterTheLastWindowWentWithTheKeyboard) {
  launch(nullptr, {});
  QWidget *welcome = delegate->welcomeWindow();
  ASSERT_TRUE(welcome);
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert("DISPLAY", display);
  otherProgram.setProcessEnvironment(environment);
  otherProgram.start("xmessage", {"-title", "other-program", "another program"});
  ASSERT_TRUE(otherProgram.waitForStarted(10000)) << "xmessage is installed by scripts/install-deps";
  const auto otherInFront = [] { return xdotool({"getactivewindow", "getwindowname"}) == "other-program"; };
  const auto toOtherProgram = [&] {
    xdotool({"search", "--name", "other-program", "windowactivate", "--sync"});
    return QTest::qWaitFor(otherInFront, 10000) &&
           QTest::qWaitFor([] { return QGuiApplication::applicationState() != Qt::ApplicationActive; }, 10000);
  };
  const struct {
    const char *name;
    std::function<QWidget *()> show; // the window that takes the keyboard
    const char *key;                 // what makes it go
  } rows[] = {
      {"an editor closed with Ctrl+W", [&]() -> QWidget * { return open(0).window(); }, "ctrl+w"},
      {"a lone alert answered",
       [&]() -> QWidget * {
         welcome->hide();
         delegate->report("bad.png is not an image.", nullptr);
         for (QWidget *w : QApplication::topLevelWidgets())
           if (auto *box = qobject_cast<QMessageBox *>(w); box && box->isVisible())
             return box;
         return nullptr;
       },
       "Return"},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.name);
    // From the other program to the settings and back, as Qt sees it too.
    ASSERT_TRUE(toOtherProgram());
    loginService.currentStatus = LoginItemStatus::enabled;
    xdotool({"windowactivate", "--sync", QString::number(welcome->winId())});
    ASSERT_TRUE(QTest::qWaitForWindowActive(welcome));
    ASSERT_EQ(login.status(), LoginItemStatus::enabled);
    ASSERT_TRUE(toOtherProgram());

    const QPointer<QWidget> shown = row.show();
    ASSERT_TRUE(shown && QTest::qWaitForWindowActive(shown));
    xdotool({"key", "--clearmodifiers", row.key});
    ASSERT_TRUE(QTest::qWaitFor([&] { return !shown || !shown->isVisible(); }, 10000));
    ASSERT_TRUE(QTest::qWaitFor(otherInFront, 10000)) << "openbox gives the keyboard back to the other program";
    loginService.currentStatus = LoginItemStatus::notRegistered;
    welcome->show();
    xdotool({"windowactivate", "--sync", QString::number(welcome->winId())});
    ASSERT_TRUE(QTest::qWaitForWindowActive(welcome));
    EXPECT_EQ(login.status(), LoginItemStatus::notRegistered);
  }
}
