#include "DelegateFixture.h"

#include "app/ForwardedLaunch.h"
#include "app/ShellRules.h"
#include "app/ShortcutGuide.h"
#include "canvas/CanvasView.h"
#include "capture/RegionSelectionView.h"
#include "chrome/AccessibilityOptions.h"
#include "document/MarkSamples.h"
#include "editor/EditorController.h"
#include "editor/EditorView.h"
#include "editor/EditorWindow.h"
#include "editor/GlassContainer.h"
#include "editor/Sheets.h"

#include <QAbstractButton>
#include <QAction>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QScreen>
#include <QScrollArea>
#include <QSignalSpy>
#include <QTimer>
#include <QTreeView>

#include <atomic>
#include <chrono>
#include <thread>

using namespace crel;
using crel::test::Delegate;
using crel::test::FakeSession;

TEST_F(Delegate, LaunchBranchesShowWelcomeCaptureOrNothing) {
  const QString image = pictures.filePath("launch.png");
  ASSERT_TRUE(QImage(30, 20, QImage::Format_RGB32).save(image));
  const struct {
    const char *name;
    LaunchOptions options;
    bool sessionFile;
    bool welcome, capturing;
    size_t editors = 0;
    const char *alert = "X11"; // without a display the shortcut cannot be grabbed
  } rows[] = {
      {"ordinary", {false, false, false}, false, true, false},
      {"at login", {true, false, false}, false, false, false},
      {"--capture", {false, true, false}, false, false, true},
      {"after an update that restored nothing", {false, false, false}, true, false, false},
      {"isolated test ignores the session file", {false, false, true}, true, true, false},
      {"asked to open an image", {false, false, true, {image}}, false, false, false, 1},
      {"asked to open only unreadable files",
       {false, false, true, {image + ".missing"}},
       false,
       true,
       false,
       0,
       "launch.png.missing could not be opened: not found."},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.name);
    session = FakeSession();
    session.present = row.sessionFile;
    QStringList alerts;
    QObject::connect(&make(), &AppDelegate::alertShown, [&](const QString &text) { alerts << text; });
    delegate->launch(row.options);
    // The launch's files are read away from the main thread; the shortcut's
    // problem is told as the launch ends.
    EXPECT_TRUE(QTest::qWaitFor([&] { return !alerts.filter("X11").isEmpty(); }, 10'000));
    QCoreApplication::processEvents();
    EXPECT_EQ(!visibleWindows("settings").isEmpty(), row.welcome);
    // A capture waits for the alert above everything, however often it is asked for.
    if (row.capturing)
      delegate->newCapture();
    QCoreApplication::processEvents();
    EXPECT_EQ(capture.phase(), CaptureCoordinator::Phase::idle);
    answerAlerts();
    const auto capturing = [&] { return capture.phase() != CaptureCoordinator::Phase::idle; };
    EXPECT_EQ(QTest::qWaitFor(capturing, row.capturing ? 5000 : 0), row.capturing);
    EXPECT_EQ(delegate->editors().size(), row.editors);
    EXPECT_EQ(session.reads, row.sessionFile && !row.options.isolatedTest ? 1 : 0);
    EXPECT_EQ(session.clears, session.reads);
    EXPECT_EQ(updates.started, 1);
    // Reported, and the launch went on.
    EXPECT_TRUE(alerts.filter(row.alert).size() == 1) << alerts.join('\n').toStdString();
    capture.cancel();
    updates.started = 0;
    delegate.reset();
  }
}

// A first launch's files are read as a later launch's are, away from the
// main thread, and its ending waits for them: an opened image is an editor,
// not a reason for the settings.
TEST_F(Delegate, AFirstLaunchReadsItsFilesAwayFromTheMainThread) {
  const std::thread::id main = std::this_thread::get_id();
  std::atomic<bool> onMain = false, release = false;
  reader = [&](const QString &, ImageOpening::Budget &) {
    onMain = onMain || std::this_thread::get_id() == main;
    while (!release && std::this_thread::get_id() != main)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return ImageOpening::Outcome{test::filledImage({40, 30}, Qt::red, QImage::Format_RGB32), {},
                                 ImageOpening::Format::png};
  };
  make().launch({false, false, true, {"/d/a.png", "/d/b.png"}});
  EXPECT_FALSE(onMain);
  QCoreApplication::processEvents();
  EXPECT_TRUE(delegate->editors().empty()) << "still reading";
  EXPECT_TRUE(visibleWindows("settings").isEmpty()) << "the ending waits for the files";
  release = true;
  EXPECT_TRUE(QTest::qWaitFor([&] { return delegate->editors().size() == 2; }, 10'000));
  QCoreApplication::processEvents();
  EXPECT_TRUE(visibleWindows("settings").isEmpty());
}

TEST_F(Delegate, SessionRestoreReopensEditorsAndKeepsAnUnreadableFile) {
  // Where restored editors land is the update relaunch's test.
  session.present = true;
  session.frames = {QRect(100, -5000, 640, 480), QRect(10, 10, 640, 480)};
  session.notices = {"~/.bashrc was left as it is.", ""};
  session.partialFailure = "1 of 3 saved screenshots could not be restored.";
  make();
  QSignalSpy shown(delegate.get(), &AppDelegate::alertShown);
  delegate->launch({});
  ASSERT_EQ(delegate->editors().size(), 2u);
  // What the restore did differently and what it could not do: one alert.
  int restoreAlerts = 0;
  for (const QList<QVariant> &alert : shown)
    if (alert[0].toString().contains(session.notices[0])) {
      ++restoreAlerts;
      EXPECT_TRUE(alert[0].toString().contains(session.partialFailure));
    }
  EXPECT_EQ(restoreAlerts, 1);
  EXPECT_EQ(session.clears, 1);
  EXPECT_TRUE(visibleWindows("settings").isEmpty());
  EXPECT_FALSE(delegate->yieldActivationUntil());
  delegate.reset();

  session = FakeSession();
  session.present = session.failRead = true;
  QStringList alerts;
  QObject::connect(&make(), &AppDelegate::alertShown, [&](const QString &text) { alerts << text; });
  delegate->launch({});
  EXPECT_EQ(session.clears, 0) << "the file stays for a later launch";
  EXPECT_EQ(alerts.filter("saved session").size(), 1) << alerts.join('\n').toStdString();
}

// Without a display the shortcut cannot be grabbed, so every launch here
// reports: a relaunch that restored nothing then hands nothing back, and
// the alert (and any other window) stays where the user can read it.
TEST_F(Delegate, AfterARelaunchTheHandBackNeverHidesALaunchAlert) {
  session.present = true;
  QWidget tool(nullptr, Qt::Tool);
  tool.show();
  make().launch({});
  ASSERT_FALSE(delegate->lastAlert().isEmpty());
  EXPECT_TRUE(visibleWindows("settings").isEmpty());
  EXPECT_FALSE(delegate->yieldActivationUntil());
  delegate->yieldActivation();
  const auto alerts = [] {
    int shown = 0;
    for (QWidget *w : QApplication::topLevelWidgets())
      shown += w->isVisible() && qobject_cast<QMessageBox *>(w);
    return shown;
  };
  EXPECT_EQ(alerts(), 1);
  EXPECT_TRUE(tool.isVisible());
}

namespace {

// Calls `paint` at the first paint of the watched widget.
struct FirstPaint : QObject {
  std::function<void()> paint;
  bool eventFilter(QObject *, QEvent *event) override {
    if (event->type() == QEvent::Paint && paint)
      std::exchange(paint, nullptr)();
    return false;
  }
};

} // namespace

// Destroying the selection panels waits for the editor's first frame, and
// comes right after it.
TEST_F(Delegate, TheSelectionPanelsGoRightAfterTheNewEditorsFirstFrame) {
  make().launch({true, false, false});
  FirstPaint canvas;
  std::optional<long> heldAtPaint, heldAfterFrame;
  QObject::connect(delegate.get(), &AppDelegate::editorShown, &canvas, [&](EditorController *editor) {
    editor->view()->canvas()->installEventFilter(&canvas);
    canvas.paint = [&] { heldAtPaint = panels.back().use_count(); };
    // Queued: after the delegate's own handling of the signal.
    QObject::connect(
        editor, &EditorController::firstFrameShown, &canvas, [&] { heldAfterFrame = panels.back().use_count(); },
        Qt::QueuedConnection);
  });
  captureRegion();
  ASSERT_TRUE(QTest::qWaitFor([&] { return heldAfterFrame.has_value(); }));
  EXPECT_EQ(heldAtPaint, 2) << "the coordinator had let the panel go before the frame";
  EXPECT_EQ(heldAfterFrame, 1) << "the coordinator still holds the panel";
}

TEST_F(Delegate, ClosingAnEditorDropsItAndCountsAsAnInteraction) {
  make().launch({true, false, false});
  captureRegion();
  ASSERT_EQ(delegate->editors().size(), 1u);
  EditorController &editor = *delegate->editors().front();
  clock = clock.addSecs(30);
  editor.window()->close();
  ASSERT_TRUE(QTest::qWaitFor([&] { return delegate->editors().empty(); }));
  EXPECT_EQ(delegate->lastInteraction(), clock);
}

TEST_F(Delegate, ASheetStopsANewCaptureAndComesForward) {
  make().launch({true, false, false});
  answerAlerts();
  QWidget owner;
  owner.show();
  QDialog sheet(&owner);
  sheet.setWindowModality(Qt::WindowModal);
  sheet.show();
  delegate->newCapture();
  EXPECT_EQ(capture.phase(), CaptureCoordinator::Phase::idle);
  EXPECT_FALSE(pendingStills);
  EXPECT_TRUE(updates.busy()) << "a visible sheet";
  sheet.close();
  delegate->newCapture();
  EXPECT_NE(capture.phase(), CaptureCoordinator::Phase::idle);
  EXPECT_TRUE(updates.busy()) << "capturing";
}

TEST_F(Delegate, TheUpdaterAsksTheIdleRuleThroughTheDelegate) {
  make().launch({true, false, false});
  EXPECT_FALSE(updates.idle()) << "within the first minute";
  clock = clock.addSecs(60);
  EXPECT_TRUE(updates.idle()) << "no window of ours is on screen";
  delegate->newCapture();
  EXPECT_FALSE(updates.idle()) << "a capture starts a new quiet minute";
}

TEST_F(Delegate, UpdateItemsFollowTheUpdater) {
  make().launch({true, false, false});
  const QList<QAction *> items = delegate->menus().updateItems();
  ASSERT_EQ(items.size(), 2);
  const struct {
    bool check, staged, installing, enabled;
  } rows[] = {
      {false, false, false, false}, {true, false, false, true}, {false, true, false, true}, {false, true, true, false}};
  for (const auto &row : rows) {
    updates.check = row.check, updates.staged = row.staged, updates.installing = row.installing;
    updates.title = QStringLiteral("Update %1").arg(row.enabled);
    Q_EMIT updates.changed();
    for (QAction *item : items) {
      EXPECT_EQ(item->text(), updates.title);
      EXPECT_EQ(item->isEnabled(), row.enabled);
    }
  }
  updates.known = true;
  Q_EMIT updates.changed();
  EXPECT_EQ(delegate->statusItem().text().title, " ↑");
}

// The capture item's title with its shortcut is checked in a real tray;
// which entries the screenshots list shows, and how, is the shell rules' table.
TEST_F(Delegate, StatusMenuOpenStateAndTheScreenshotsListFollowTheEditors) {
  make().launch({true, false, false});
  QMenu &menu = *delegate->statusItem().menu();
  QStringList titles;
  for (QAction *a : menu.actions())
    titles << a->text();
  EXPECT_EQ(titles, QStringList({"Capture an area", "Open Image…", "Open Saved Images Folder", "Open Screenshots", "",
                                 "Settings…", "Check for Updates…", "Quit"}));
  QMenu &screenshots = *delegate->menus().screenshotsMenu();
  ASSERT_EQ(screenshots.actions().size(), 1);
  EXPECT_FALSE(screenshots.actions().front()->isEnabled()) << "nothing open";

  Q_EMIT menu.aboutToShow();
  EXPECT_TRUE(delegate->statusItem().isMenuOpen());
  Q_EMIT menu.aboutToHide();
  EXPECT_FALSE(delegate->statusItem().isMenuOpen());

  // The Window menu lists the same entries after its own commands as it opens.
  QMenu &windowMenu = *delegate->menus().mainMenus()[3];
  const auto listed = [](QMenu &menu, int from) {
    std::string entries;
    for (QAction *a : menu.actions().mid(from))
      entries += QString(a->text() + (a->isChecked() ? " (key)\n" : "\n")).toStdString();
    return entries;
  };
  const auto windowEntries = [&] {
    Q_EMIT windowMenu.aboutToShow();
    EXPECT_EQ(windowMenu.actions().value(3)->text(), "Bring All to Front");
    return listed(windowMenu, 5);
  };
  EXPECT_EQ(windowEntries(), "") << "nothing open, nothing listed";
  EXPECT_EQ(windowMenu.actions().size(), 4);

  captureRegion();
  captureRegion();
  captureRegion();
  ASSERT_EQ(delegate->editors().size(), 3u);
  EditorController *older = delegate->editors()[0].get(), *newer = delegate->editors()[2].get();
  ASSERT_TRUE(QTest::qWaitForWindowActive(newer->window()));
  older->window()->showMinimized();
  delegate->refreshOpenScreenshotsMenu();
  const QList<QAction *> entries = screenshots.actions();
  ASSERT_EQ(entries.size(), 3);
  EXPECT_TRUE(entries[0]->text().contains(newer->window()->windowTitle().remove("[*]"))) << "newest first";
  EXPECT_TRUE(entries[0]->isChecked()) << "the key window";
  EXPECT_TRUE(entries[2]->text().startsWith("– ")) << "minimised";
  const int olderEntry = entries[2]->data().toInt();
  const std::string submenu = listed(screenshots, 0);
  EXPECT_EQ(windowEntries(), submenu);

  // An entry brings its window back; once it has closed, the menus lose its
  // entry and a choice made from the old menu does nothing.
  windowMenu.actions().last()->trigger();
  EXPECT_FALSE(older->window()->isMinimized());
  older->window()->close();
  ASSERT_TRUE(QTest::qWaitFor([&] { return delegate->editors().size() == 2u; }));
  const std::string left = windowEntries();
  EXPECT_EQ(std::count(left.begin(), left.end(), '\n'), 2);
  EXPECT_EQ(left, listed(screenshots, 0));
  newer->window()->showMinimized();
  delegate->showOpenScreenshot(olderEntry);
  EXPECT_TRUE(newer->window()->isMinimized()) << "the entry of a closed editor reaches no other";

  // While a capture runs, no entry brings a window forward.
  delegate->newCapture();
  screenshots.actions().front()->trigger();
  EXPECT_TRUE(newer->window()->isMinimized());
  capture.cancel();
  screenshots.actions().front()->trigger();
  EXPECT_FALSE(newer->window()->isMinimized());
}

TEST(StatusItemCopyFeedback, ASecondCopyKeepsCopiedForAFullSecondAfterIt) {
  StatusItem item(QStringLiteral("Crel"));
  QElapsedTimer sinceFirst, sinceSecond;
  item.showCopyFeedback();
  sinceFirst.start();
  // The second copy comes once most of the first one's time has gone.
  ASSERT_TRUE(QTest::qWaitFor([&] { return sinceFirst.elapsed() >= StatusItem::copyFeedbackMs * 3 / 5; }));
  ASSERT_TRUE(item.isShowingCopyFeedback());
  item.showCopyFeedback();
  sinceSecond.start();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !item.isShowingCopyFeedback(); }, 3000));
  EXPECT_GE(sinceSecond.elapsed(), StatusItem::copyFeedbackMs);
  EXPECT_EQ(item.text().accessibilityLabel, "Crel");
}

TEST_F(Delegate, ASavedImagesFolderThatCannotBeMadeIsReportedOnceAndNotOpened) {
  ASSERT_TRUE(QFile(pictures.filePath("Crel")).open(QIODevice::WriteOnly)); // a file where the folder goes
  AppDelegate &app = make();
  QSignalSpy alerts(&app, &AppDelegate::alertShown);
  for (const auto &open :
       std::vector<std::function<void()>>{[&] { app.openSavedImagesFolder(); }, [&] { app.openImage(); }}) {
    alerts.clear();
    open();
    ASSERT_EQ(alerts.size(), 1);
    EXPECT_TRUE(alerts[0][0].toString().contains("a file with that name is in the way"))
        << alerts[0][0].toString().toStdString();
    EXPECT_TRUE(visibleWindows("open-image").isEmpty());
  }
}

// The panel says where the saved images are before anything else, and is
// big enough for whole names beside their dates.
TEST_F(Delegate, TheOpenPanelSaysWhereTheSavedImagesAreAndShowsWholeNames) {
  const std::unique_ptr<QFileDialog> panel = AppDelegate::makeImageOpenPanel(pictures.filePath("Crel"));
  panel->show();
  const auto *guidance = panel->findChild<QLabel *>("open-image-guidance");
  ASSERT_TRUE(guidance);
  EXPECT_EQ(guidance->text(),
            "Your saved images are in Pictures → Crel. You can also import an image from another folder.");
  const auto *files = panel->findChild<QTreeView *>("treeView");
  ASSERT_TRUE(files && files->isVisible());
  EXPECT_LT(guidance->geometry().bottom(), files->mapTo(panel.get(), QPoint()).y());
  // Every column fits beside the others: long names, sizes and whole dates.
  const QHeaderView *header = files->header();
  int total = 0;
  for (int column = 0; column < header->count(); ++column)
    total += header->sectionSize(column);
  EXPECT_LE(total, files->viewport()->width());
  EXPECT_GE(header->sectionSize(0), 300) << "the name column";
  const QString date = QLocale::system().toString(QDateTime::currentDateTime(), QLocale::ShortFormat);
  EXPECT_GT(header->sectionSize(3), QFontMetrics(files->font()).horizontalAdvance(date)) << "the date column";
}

// An alert says its message in its body, where it is read whole; a title
// bar cuts a long title short, so the title names the application. Paths
// read as the user knows them.
TEST_F(Delegate, AlertsShowTheirMessageInsideTheAlertUnderTheAppsName) {
  AppDelegate &app = make();
  const QByteArray home = qgetenv("HOME");
  qputenv("HOME", pictures.path().toUtf8());
  // The fixture's desktop has no file manager: the folder cannot be shown.
  const struct {
    const char *name;
    std::function<void()> raise;
    QString text, informative;
  } rows[] = {
      {"a reported failure", [&] { app.report(QStringLiteral("The image could not be read.")); },
       "The image could not be read.", ""},
      {"screen capture not allowed", [&] { app.showPermission(); }, "Allow screen capture",
       "Allow Crel to take screenshots when your desktop asks, or in the privacy section of your desktop's settings, "
       "then capture again. Your screenshots stay on this computer."},
      {"the folder cannot be shown", [&] { app.openSavedImagesFolder(); }, "Could not open ~/Crel in the file manager.",
       ""},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.name);
    row.raise();
    QMessageBox *box = nullptr;
    for (QWidget *w : QApplication::topLevelWidgets())
      if (auto *candidate = qobject_cast<QMessageBox *>(w); candidate && candidate->isVisible())
        box = candidate;
    ASSERT_TRUE(box);
    EXPECT_EQ(box->text().toStdString(), row.text.toStdString());
    EXPECT_EQ(box->informativeText().toStdString(), row.informative.toStdString());
    EXPECT_EQ(box->windowTitle(), "Crel");
    box->done(QMessageBox::Ok);
    QCoreApplication::processEvents();
  }
  qputenv("HOME", home);
}

// Files handed over by a later launch (each an editor or one alert, and the
// answer) are checked on the real application, with the single-instance
// road, under X.

// A plain second launch reopens the same way; check-single-instance runs it.
TEST_F(Delegate, ReopeningFromTheTrayShowsTheSettingsOrBringsBackTheEditor) {
  const QString image = pictures.filePath("shot.one.png");
  QImage(30, 20, QImage::Format_RGB32).save(image);
  AppDelegate &app = make();
  app.launch({true, false, true});
  QCoreApplication::processEvents();
  ASSERT_TRUE(visibleWindows("settings").isEmpty());
  Q_EMIT app.statusItem().reopenRequested();
  ASSERT_FALSE(visibleWindows("settings").isEmpty());
  // Titled, closable and minimisable, but of one size.
  const QWidget *settings = visibleWindows("settings").front();
  EXPECT_EQ(settings->windowTitle(), "Crel");
  EXPECT_EQ(settings->windowFlags() &
                (Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint),
            Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint);
  EXPECT_EQ(settings->minimumSize(), settings->maximumSize());
  visibleWindows("settings").front()->close();

  ASSERT_TRUE(app.openImageFile(image));
  QWidget *editor = app.editors().front()->window();
  // Named once its working copy is written, right after the first frame.
  EXPECT_TRUE(QTest::qWaitFor([&] { return editor->windowTitle().startsWith("shot.one"); }))
      << "named after the file, without its extension";
  editor->showMinimized();
  Q_EMIT app.statusItem().reopenRequested();
  EXPECT_TRUE(visibleWindows("settings").isEmpty());
  EXPECT_FALSE(editor->isMinimized());
  EXPECT_TRUE(editor->isVisible());

  // An alert above everything comes forward last; a capture is left alone.
  answerAlerts();
  for (const bool capturing : {false, true}) {
    QMessageBox alert(QMessageBox::Warning, "Crel", "Something went wrong.");
    alert.setWindowModality(Qt::ApplicationModal);
    if (capturing)
      app.newCapture();
    alert.showMinimized();
    Q_EMIT app.statusItem().reopenRequested();
    EXPECT_EQ(alert.isMinimized(), capturing);
  }
  capture.cancel();
}

TEST_F(Delegate, ReopeningBringsAWindowShowingASheetForwardBeforeAnyEditor) {
  const QString image = pictures.filePath("a.png");
  QImage(30, 20, QImage::Format_RGB32).save(image);
  AppDelegate &app = make();
  app.launch({true, false, true});
  // An alert above everything would come forward last.
  answerAlerts();
  ASSERT_TRUE(app.openImageFile(image));
  QWidget *editor = app.editors().front()->window();
  QWidget owner;
  owner.show();
  QDialog sheet(&owner);
  sheet.setWindowModality(Qt::WindowModal);
  sheet.show();
  editor->activateWindow();
  ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == editor; }));
  EXPECT_TRUE(app.handleForwarded({}));
  EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() != editor; }));
  EXPECT_EQ(QApplication::activeWindow(), &sheet) << "the sheet answers the keys";
  EXPECT_TRUE(visibleWindows("settings").isEmpty());
}

// The menu's keys act in whichever of the application's windows is key,
// each shown alone: Ctrl+W closes it, Ctrl+N starts a capture.
TEST_F(Delegate, TheMenusKeysActInEachWindowShownAlone) {
  const std::pair<const char *, std::function<QWidget *()>> windows[] = {
      {"settings",
       [this] {
         delegate->showWelcome();
         return delegate->welcomeWindow();
       }},
      {"editor",
       [this]() -> QWidget * {
         captureRegion();
         return delegate->editors().empty() ? nullptr : delegate->editors().front()->window();
       }},
      {"keyboard shortcuts",
       [this] {
         delegate->showShortcuts();
         return delegate->shortcutsWindow();
       }},
  };
  for (const auto &[name, open] : windows) {
    for (const Qt::Key key : {Qt::Key_W, Qt::Key_N}) {
      SCOPED_TRACE(std::string(name) + (key == Qt::Key_W ? " Ctrl+W" : " Ctrl+N"));
      make().launch({true, false, true});
      answerAlerts();
      QWidget *window = open();
      ASSERT_TRUE(window);
      window->activateWindow();
      ASSERT_TRUE(QTest::qWaitForWindowActive(window));
      ASSERT_EQ(visibleWindows("settings").size() + visibleWindows("shortcuts").size() + delegate->editors().size(),
                1u);
      QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : window, key, Qt::ControlModifier);
      if (key == Qt::Key_W) {
        EXPECT_TRUE(QTest::qWaitFor([&] { return !window->isVisible(); }));
      } else {
        EXPECT_NE(capture.phase(), CaptureCoordinator::Phase::idle);
        capture.cancel();
      }
      for (QWidget *w : QApplication::topLevelWidgets())
        w->close();
      delegate.reset();
    }
  }
}

TEST_F(Delegate, TheShortcutsWindowIsMadeOnceAndKept) {
  AppDelegate &app = make();
  app.launch({true, false, true});
  app.showShortcuts();
  QWidget *first = app.shortcutsWindow();
  ASSERT_TRUE(first);
  first->close();
  app.showShortcuts();
  EXPECT_EQ(app.shortcutsWindow(), first);
  EXPECT_EQ(visibleWindows("shortcuts").size(), 1);
}

// Window > Minimize and Zoom act only where the window allows it: the
// shortcuts window has neither, the settings only Minimize. Shown again, the
// shortcuts window comes back however the desktop put it away.
TEST_F(Delegate, MinimizeAndZoomFollowWhatEachWindowAllows) {
  const struct {
    const char *name;
    std::function<QWidget *()> open;
    bool minimizes, zooms;
  } rows[] = {
      {"settings", [this] { return delegate->showWelcome(), delegate->welcomeWindow(); }, true, false},
      {"editor", [this] { return captureRegion(), delegate->editors().front()->window(); }, true, true},
      {"keyboard shortcuts", [this] { return delegate->showShortcuts(), delegate->shortcutsWindow(); }, false, false},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.name);
    make().launch({true, false, true});
    QWidget *window = row.open();
    const QList<QAction *> items = delegate->menus().mainMenus()[3]->actions(); // Minimize, Zoom
    for (QAction *item : {items[1], items[0]}) {
      window->activateWindow();
      ASSERT_TRUE(QTest::qWaitForWindowActive(window));
      item->trigger();
    }
    EXPECT_EQ(window->isMinimized(), row.minimizes);
    EXPECT_EQ(window->windowState().testFlag(Qt::WindowMaximized), row.zooms);
  }

  // Put away by the desktop, the guide comes back when asked for.
  delegate->showShortcuts();
  delegate->shortcutsWindow()->showMinimized();
  delegate->showShortcuts();
  EXPECT_FALSE(delegate->shortcutsWindow()->isMinimized());
  EXPECT_TRUE(delegate->shortcutsWindow()->isVisible());
}

// The settings and the shortcuts window stand on the glass backdrop, sized
// to their scrolling view; the backdrop swaps with the user's wish for less
// transparency while the interface on it stays as it is.
TEST_F(Delegate, TheShellWindowsStandOnAGlassBackdropThatFollowsReduceTransparency) {
  AccessibilityOptions &options = AccessibilityOptions::shared();
  const std::optional<bool> environment = options.sources().environment;
  options.setEnvironmentValue(false);
  AppDelegate &app = make();
  app.launch({true, false, true});
  app.showWelcome();
  app.showShortcuts();
  const QScreen *screen = QGuiApplication::primaryScreen();
  const QSize welcomeView(ShellRules::welcomeWidth, ShellRules::welcomeHeight(screen->availableGeometry().height()));
  const QSize guideView(ShortcutGuide::windowWidth, ShortcutGuide::windowHeight);
  for (const auto &[window, viewSize] :
       {std::pair{app.welcomeWindow(), welcomeView}, {app.shortcutsWindow(), guideView}}) {
    ASSERT_TRUE(window);
    SCOPED_TRACE(window->objectName().toStdString());
    auto *container = window->findChild<GlassContainer *>(QString(), Qt::FindDirectChildrenOnly);
    ASSERT_TRUE(container);
    ASSERT_TRUE(qobject_cast<QScrollArea *>(container->content()));
    EXPECT_EQ(container->size(), viewSize);
    EXPECT_EQ(container->backdropForm(), GlassContainer::Backdrop::material);
    QList<QPointer<QWidget>> interface;
    for (QWidget *part : container->content()->findChildren<QWidget *>())
      interface.append(part);
    const QWidget *content = container->content();
    for (const bool reduce : {true, false}) {
      const QPointer<QWidget> before = container->backdrop();
      options.setEnvironmentValue(reduce);
      EXPECT_EQ(container->backdropForm(),
                reduce ? GlassContainer::Backdrop::plain : GlassContainer::Backdrop::material);
      EXPECT_FALSE(before);
      EXPECT_EQ(container->content(), content);
      EXPECT_EQ(container->backdrop()->geometry(), container->rect());
      EXPECT_TRUE(std::all_of(interface.begin(), interface.end(), [](const QPointer<QWidget> &w) { return bool(w); }))
          << "the interface is kept";
    }
  }
  options.setEnvironmentValue(environment);
}

TEST_F(Delegate, QuittingAsksEachUnsavedEditorInTurnAndCancelKeepsTheRun) {
  // Nothing can be saved: every editor is left unsaved.
  ASSERT_TRUE(QFile(pictures.filePath("Crel")).open(QIODevice::WriteOnly)); // a file where the folder goes
  AppDelegate &app = make();
  app.launch({true, false, true});
  for (int i = 0; i < 2; ++i)
    app.showEditor(QImage(40, 30, QImage::Format_RGB32), {});
  ASSERT_EQ(app.editors().size(), 2u);
  const auto prompt = [&](size_t editor) -> QMessageBox * {
    QDialog *dialog = Sheets::attached(app.editors()[editor]->window());
    return dialog && dialog->objectName() == "confirm-discard" ? qobject_cast<QMessageBox *>(dialog) : nullptr;
  };
  const auto click = [](QMessageBox *box, const QString &text) {
    ASSERT_TRUE(box);
    for (QAbstractButton *b : box->buttons())
      if (b->text() == text)
        return b->click();
    ADD_FAILURE() << text.toStdString();
  };

  app.requestQuit();
  EXPECT_TRUE(app.quitController().isAsking());
  EXPECT_TRUE(prompt(0));
  EXPECT_FALSE(prompt(1));
  app.requestQuit(); // asked again while asking: still the one prompt
  click(prompt(0), "Discard");
  ASSERT_TRUE(QTest::qWaitFor([&] { return prompt(1); }));
  click(prompt(1), "Cancel");
  ASSERT_TRUE(QTest::qWaitFor([&] { return !app.quitController().isAsking(); }));
  EXPECT_EQ(app.editors().size(), 2u);
  EXPECT_TRUE(app.editors()[1]->window()->isVisible());

  // The desktop session ends: no prompt without the session manager's leave,
  // and with it the prompts are answered before the request returns.
  EXPECT_FALSE(app.endSession([] { return false; }));
  EXPECT_FALSE(prompt(0));
  QTimer user;
  QObject::connect(&user, &QTimer::timeout, [&] {
    for (size_t i = 0; i < 2; ++i)
      if (QMessageBox *box = prompt(i); box && box->isVisible())
        click(box, "Discard");
  });
  user.start(10);
  EXPECT_TRUE(app.endSession([] { return true; }));
}
