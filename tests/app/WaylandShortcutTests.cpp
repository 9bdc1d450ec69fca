#include "DelegateFixture.h"
#include "support/TestSupport.h"

#include "app/LaunchAtLogin.h"
#include "app/ShortcutManager.h"
#include "app/WelcomeView.h"
#include "chrome/CommandText.h"
#include "document/AnnotationPreferences.h"
#include "document/CrelError.h"
#include "document/EditorSizePreferences.h"
#include "editor/EditorWindow.h"
#include "editor/Sheets.h"
#include "platform/desktop/LoginItemService.h"
#include "platform/shortcuts/HotKeyBackend.h"

#include <QAbstractButton>
#include <QAbstractTextDocumentLayout>
#include <QClipboard>
#include <QFile>
#include <QLabel>
#include <QTextBlock>
#include <QTextLayout>

#include <gtest/gtest.h>

using namespace crel;

namespace {

// The desktop's shortcut service as a test drives it.
class FakePortal : public GlobalShortcutPortal {
public:
  void bind(const QString &id, const QString &description, const QString &trigger) override {
    binds.push_back({id, description, trigger});
    if (declineAtOnce)
      Q_EMIT failed();
  }
  std::vector<QStringList> binds;
  bool declineAtOnce = false;
};

// What the settings show of the shortcut: the line beside the recorder, and
// where only the desktop binds keys, the commands to bind (empty when hidden).
struct SettingsRow {
  QString status, command, sway;
};

// A Wayland session, with or without the portal: never a grab through
// XWayland, which would fire only while an X11 window has the keyboard.
struct WaylandRig {
  explicit WaylandRig(bool portal, const QString &program = "/opt/Crel.app/bin/crel", bool sway = false) {
    ShortcutManager::Desktop desktop{true, nullptr, program, sway};
    if (portal) {
      auto fake = std::make_unique<FakePortal>();
      this->portal = fake.get();
      desktop.portal = std::move(fake);
    }
    manager =
        std::make_unique<ShortcutManager>(settings.store(), std::make_unique<HotKeyBackend>(), std::move(desktop));
    manager->setOnCapture(nullptr, [this] { ++captures; });
  }
  SettingsRow settingsRow() {
    LaunchAtLogin login(loginService, settings.store(), true);
    AnnotationPreferences annotation(settings.store());
    EditorSizePreferences sizes(settings.store());
    WelcomeView view(*manager, login, annotation, sizes, {});
    const auto shown = [&](const char *name) {
      auto *command = view.findChild<CommandText *>(name);
      return command->isVisibleTo(&view) ? command->command() : QString();
    };
    return {view.findChild<QLabel *>("shortcut-status")->text(), shown("capture-command"), shown("sway-binding")};
  }

  test::TemporarySettings settings;
  FakeLoginItemService loginService;
  FakePortal *portal = nullptr;
  std::unique_ptr<ShortcutManager> manager;
  int captures = 0;
};

const QString bindSentence = "On Wayland only the desktop can give the app a shortcut that works in every window. "
                             "Bind this command to a key in your desktop's keyboard settings:";

QString bindText(const QString &command = "/opt/Crel.app/bin/crel --capture") { return bindSentence + "\n" + command; }

} // namespace

TEST(WaylandShortcut, WithoutThePortalTheSettingsAndTheFirstLaunchSayHowToBindTheCommand) {
  WaylandRig rig(false);
  EXPECT_FALSE(rig.manager->retry());
  EXPECT_EQ(rig.manager->problem(), ShortcutManager::Problem::desktopBinding);
  EXPECT_EQ(rig.manager->statusLabel(), bindText());
  const SettingsRow row = rig.settingsRow();
  EXPECT_EQ(row.status, bindSentence) << "never \"Available anywhere\"";
  EXPECT_EQ(row.command, "/opt/Crel.app/bin/crel --capture");
  EXPECT_EQ(row.sway, "") << "not a sway session";
  const QString first = rig.manager->takeLaunchProblem();
  EXPECT_TRUE(first.contains("Command:\n\n/opt/Crel.app/bin/crel --capture\n\n")) << first.toStdString();
  EXPECT_TRUE(first.endsWith("\n\nbindsym Ctrl+Shift+2 exec \"/opt/Crel.app/bin/crel --capture\""))
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
    WaylandRig rig(false, row.program, true);
    EXPECT_EQ(rig.manager->statusLabel(), bindText(row.shell));
    const SettingsRow settings = rig.settingsRow();
    EXPECT_EQ(settings.command, row.shell);
    EXPECT_EQ(settings.sway, "bindsym Ctrl+Shift+2 exec " + row.sway) << "sway's form beside the shell's";
    // Each command on a line of its own, never inside another pair of quotes.
    const QString first = rig.manager->takeLaunchProblem();
    const QStringList lines = first.split('\n');
    EXPECT_EQ(lines.count(row.shell), 1) << first.toStdString();
    EXPECT_FALSE(first.contains("'" + row.shell + "'")) << first.toStdString();
    EXPECT_EQ(lines.last(), settings.sway) << first.toStdString();
    EXPECT_EQ(first.contains("In KDE Plasma, as:\n\n" + row.kde + "\n"), !row.kde.isEmpty()) << first.toStdString();
  }
}

TEST(WaylandShortcut, ThePortalBindsTheShortcutAndItsPressesCapture) {
  WaylandRig rig(true);
  EXPECT_FALSE(rig.manager->retry()) << "works only once the desktop says so";
  EXPECT_EQ(rig.settingsRow().status, "Ctrl+Shift+2 — waiting for the desktop");
  ASSERT_EQ(rig.portal->binds.size(), 1u);
  EXPECT_EQ(rig.portal->binds[0], (QStringList{"capture", "Capture an area", "CTRL+SHIFT+2"}));
  rig.manager->retry();
  EXPECT_EQ(rig.portal->binds.size(), 1u) << "one request at a time";

  Q_EMIT rig.portal->bound("Ctrl+Shift+2");
  EXPECT_TRUE(rig.manager->isRegistered());
  EXPECT_EQ(rig.settingsRow().status, "Available anywhere on this computer");
  Q_EMIT rig.portal->activated("capture");
  Q_EMIT rig.portal->activated("other");
  EXPECT_EQ(rig.captures, 1);

  // A recorded shortcut is offered to the desktop in place of the old one.
  rig.manager->registerShortcut(*CaptureShortcut::from(0x6b, CaptureShortcut::command | CaptureShortcut::option));
  ASSERT_EQ(rig.portal->binds.size(), 2u);
  EXPECT_EQ(rig.portal->binds[1][2], "CTRL+ALT+k");
  EXPECT_NE(rig.settingsRow().status, "Available anywhere on this computer") << "the desktop has not answered";
  Q_EMIT rig.portal->failed();
  EXPECT_FALSE(rig.manager->isRegistered());
  EXPECT_EQ(rig.settingsRow().status, bindSentence);
}

// The desktop's session is followed after its answer: keys it binds later
// show in the settings, a press it reports proves the key works, and one it
// lets go of brings the command back. Only a declined binding brings the advice.
TEST(WaylandShortcut, WhatTheDesktopSaysLaterCounts) {
  const auto failed = [](FakePortal &p) { Q_EMIT p.failed(); };
  const struct {
    const char *name;
    std::function<void(FakePortal &)> answer, later;
    QString status;
    int captures;
    bool adviceDue;
  } rows[]{
      {"declined, bound later", failed, [](FakePortal &p) { Q_EMIT p.bound("Meta+F5"); },
       "Meta+F5 — available anywhere on this computer", 0, false},
      {"declined, pressed", failed, [](FakePortal &p) { Q_EMIT p.activated("capture"); },
       "Available anywhere on this computer", 1, false},
      {"bound, let go", [](FakePortal &p) { Q_EMIT p.bound("Ctrl+Shift+2"); },
       [](FakePortal &p) { Q_EMIT p.unbound(); }, bindSentence, 0, false},
      {"declined, let go", failed, [](FakePortal &p) { Q_EMIT p.unbound(); }, bindSentence, 0, true},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.name);
    WaylandRig rig(true);
    rig.manager->retry();
    row.answer(*rig.portal);
    row.later(*rig.portal);
    const SettingsRow settings = rig.settingsRow();
    EXPECT_EQ(settings.status, row.status);
    EXPECT_EQ(settings.command, row.status == bindSentence ? "/opt/Crel.app/bin/crel --capture" : "");
    EXPECT_EQ(rig.captures, row.captures);
    EXPECT_EQ(rig.manager->bindingAdviceDue(), row.adviceDue);
    rig.manager->retry();
    EXPECT_EQ(rig.portal->binds.size(), 1u) << "the session is followed, not asked again";
  }
}

// The command in the settings is copied exactly, whole or in part, every
// character of the path as it is, and a narrow line never breaks at a
// hyphen of its path.
TEST(WaylandShortcut, TheSettingsCommandIsCopiedExactlyAndNeverBreaksAtAHyphen) {
  for (const char *row :
       {"/opt/my-crel-app/bin/crel", "'/home/u/My\u00a0Apps/crel'", "'/home/u/a\u2060b-\u2060c/crel'",
        "'/home/u/two\nlines-x/crel'", "'/home/u/two\r\nlines-x/crel'", "'/home/u/a\u2028b-c\u2029d/crel'"}) {
    SCOPED_TRACE(row);
    const QString path(row);
    CommandText field;
    field.setCommand(path + " --capture");
    // Each selection's ends found in what the field shows.
    const auto copied = [&field](int start, int end) {
      QTextCursor cursor = field.textCursor();
      cursor.setPosition(start);
      cursor.setPosition(end, QTextCursor::KeepAnchor);
      field.setTextCursor(cursor);
      field.copy();
      return QGuiApplication::clipboard()->text();
    };
    const int end = field.document()->characterCount() - 1;
    EXPECT_EQ(copied(0, end), path + " --capture");
    EXPECT_EQ(copied(1, field.document()->find(" -").selectionStart()), path.mid(1));
    EXPECT_EQ(copied(end, field.document()->find("capture").selectionStart()), "capture");
  }
  const QString command = "'/home/bob/my-apps/Bob'\\''s Crel-2/bin/crel' --capture";
  CommandText text;
  text.setCommand(command);
  text.selectAll();
  text.copy();
  EXPECT_EQ(QGuiApplication::clipboard()->text(), command);
  text.show();
  for (int width = 100; width <= 480; width += 7) {
    SCOPED_TRACE(width);
    text.resize(width, text.heightForWidth(width));
    QCoreApplication::processEvents();
    text.document()->size(); // laid out in full
    const QTextBlock block = text.document()->firstBlock();
    QTextLayout *layout = block.layout();
    ASSERT_GT(layout->lineCount(), 0);
    for (int i = 0; i + 1 < layout->lineCount(); ++i) {
      const QTextLine line = layout->lineAt(i);
      QString shown = block.text().mid(line.textStart(), line.textLength());
      shown.remove(QChar(0x2060));
      EXPECT_FALSE(shown.endsWith('-')) << shown.toStdString();
    }
    EXPECT_EQ(text.heightForWidth(width), int(std::ceil(text.document()->size().height())));
  }
}

namespace {

// The delegate on a Wayland session whose desktop's portal answers when a row says.
class DeclinedShortcut : public test::Delegate {
protected:
  struct Launch {
    std::unique_ptr<ShortcutManager> manager;
    FakePortal *portal;
    QStringList advice;
  };
  Launch launch(bool declineAtOnce) {
    auto fake = std::make_unique<FakePortal>();
    FakePortal *portal = fake.get();
    portal->declineAtOnce = declineAtOnce;
    Launch run{
        std::make_unique<ShortcutManager>(settings.store(), std::make_unique<HotKeyBackend>(),
                                          ShortcutManager::Desktop{true, std::move(fake), "/opt/Crel.app/bin/crel"}),
        portal,
        {}};
    AppDelegate &app = make(nullptr, nullptr, run.manager.get());
    QObject::connect(&app, &AppDelegate::alertShown, [advice = &run.advice](const QString &text) {
      if (text.contains("capture shortcut that works in every window"))
        *advice << text;
    });
    app.launch({});
    return run;
  }
  bool explained() { return settings.store().contains("captureShortcutBindingExplained"); }
};

} // namespace

// However late the desktop declines, the first launch's advice follows it,
// once, and never over the overlay or a question on screen.
TEST_F(DeclinedShortcut, TheAdviceFollowsTheDeclineOnceWheneverItComes) {
  enum class Open { nothing, overlay, sheet };
  const struct {
    const char *name;
    bool atOnce;
    Open open;
  } rows[]{
      {"declined at once", true, Open::nothing},
      {"declined after the launch", false, Open::nothing},
      {"declined while the overlay is up", false, Open::overlay},
      {"declined while a sheet is up", false, Open::sheet},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.name);
    settings.store().remove("captureShortcutBindingExplained");
    Launch first = launch(row.atOnce);
    QCoreApplication::processEvents();
    if (!row.atOnce) {
      EXPECT_TRUE(first.advice.isEmpty()) << "the desktop has not answered";
      std::unique_ptr<QMessageBox> sheet;
      if (row.open == Open::overlay)
        delegate->newCapture();
      if (row.open == Open::sheet) {
        sheet = std::make_unique<QMessageBox>(QMessageBox::Question, "Crel", "Keep it?", QMessageBox::Ok,
                                              delegate->welcomeWindow());
        sheet->setWindowModality(Qt::WindowModal);
        sheet->show();
      }
      Q_EMIT first.portal->failed();
      QCoreApplication::processEvents();
      if (row.open != Open::nothing) {
        EXPECT_TRUE(first.advice.isEmpty()) << "said over what the user is doing";
        EXPECT_FALSE(explained()) << "set before it was said";
        capture.cancel();
        if (sheet)
          sheet->done(QMessageBox::Ok);
      }
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return !first.advice.isEmpty(); }, 5000));
    ASSERT_EQ(first.advice.size(), 1);
    EXPECT_TRUE(first.advice[0].contains("/opt/Crel.app/bin/crel --capture")) << first.advice[0].toStdString();
    EXPECT_TRUE(explained());
    Q_EMIT first.portal->failed();
    QCoreApplication::processEvents();
    EXPECT_EQ(first.advice.size(), 1) << "said once";
    answerAlerts();

    Launch next = launch(row.atOnce);
    Q_EMIT next.portal->failed();
    QCoreApplication::processEvents();
    EXPECT_TRUE(next.advice.isEmpty()) << "not again at the next launch";
    answerAlerts();
    delegate.reset();
  }
}

// A quit under way neither says nor spends the advice: a quit that ends the
// run leaves it to the next launch, a cancelled one lets it come, once.
TEST_F(DeclinedShortcut, AQuitUnderWayKeepsTheAdvice) {
  enum class Quit { ends, sessionKept, userCancels };
  const struct {
    const char *name;
    Quit quit;
  } rows[]{
      {"a signal ends the run", Quit::ends},
      {"the session manager keeps the session", Quit::sessionKept},
      {"the user cancels at an editor's question", Quit::userCancels},
  };
  // Nothing can be saved: an editor stays unsaved and is asked about.
  ASSERT_TRUE(QFile(pictures.filePath("Crel")).open(QIODevice::WriteOnly));
  for (const auto &row : rows) {
    SCOPED_TRACE(row.name);
    settings.store().remove("captureShortcutBindingExplained");
    Launch first = launch(false);
    if (row.quit != Quit::ends)
      delegate->showEditor(QImage(40, 30, QImage::Format_RGB32), {});
    delegate->newCapture();
    Q_EMIT first.portal->failed();
    switch (row.quit) {
    case Quit::ends: delegate->requestQuit(QuitController::From::desktop); break;
    case Quit::sessionKept: EXPECT_FALSE(delegate->endSession([] { return false; })); break;
    case Quit::userCancels: {
      ASSERT_EQ(delegate->requestQuit(), QuitController::Reply::later);
      QCoreApplication::processEvents();
      EXPECT_TRUE(first.advice.isEmpty()) << "said during the quit";
      auto *prompt = qobject_cast<QMessageBox *>(Sheets::attached(delegate->editors()[0]->window()));
      ASSERT_TRUE(prompt);
      for (QAbstractButton *button : prompt->buttons())
        if (button->text() == "Cancel")
          button->click();
      break;
    }
    }
    if (row.quit == Quit::ends) {
      QCoreApplication::processEvents();
      EXPECT_TRUE(first.advice.isEmpty()) << "said during the quit";
      EXPECT_FALSE(explained()) << "spent on a quit";
      Launch next = launch(true);
      EXPECT_EQ(next.advice.size(), 1) << "the next launch gives it";
    } else {
      EXPECT_TRUE(QTest::qWaitFor([&] { return !first.advice.isEmpty(); }, 5000));
      QCoreApplication::processEvents();
      EXPECT_EQ(first.advice.size(), 1);
      EXPECT_TRUE(explained());
    }
    answerAlerts();
    delegate.reset();
  }
}
