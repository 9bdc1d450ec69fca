#include "support/TestSupport.h"

#include "app/AppDelegate.h"
#include "app/ForwardedLaunch.h"
#include "app/LaunchAtLogin.h"
#include "app/SessionStore.h"
#include "app/ShortcutManager.h"
#include "app/UpdateService.h"
#include "capture/CaptureCoordinator.h"
#include "capture/RegionSelectionView.h"
#include "capture/SilentCapturePanel.h"
#include "document/AnnotationPreferences.h"
#include "document/CrelDocument.h"
#include "document/CrelError.h"
#include "document/MarkSamples.h"
#include "editor/EditorController.h"
#include "editor/EditorWindow.h"
#include "editor/Sheets.h"
#include "platform/HotKeyBackend.h"
#include "platform/LoginItemService.h"
#include "platform/Pasteboard.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace crel;

namespace {

class FakeUpdates : public UpdateService {
public:
  QString title = QStringLiteral("Check for Updates…");
  bool check = false, staged = false, installing = false, known = false;
  int started = 0;
  QString menuTitle() const override { return title; }
  bool canCheck() const override { return check; }
  bool hasStagedInstall() const override { return staged; }
  bool isInstalling() const override { return installing; }
  bool isUpdateKnown() const override { return known; }
  void start() override { ++started; }
  bool busy() const { return askBusy(); }
  bool idle() const { return askIdle(); }
};

class FakeSession : public SessionStore {
public:
  bool present = false, failRead = false;
  std::vector<QRect> frames;
  int reads = 0, clears = 0;
  bool exists() const override { return present; }
  std::vector<Entry> read() override {
    ++reads;
    if (failRead)
      throw CrelError::capture(QStringLiteral("The saved session could not be read."));
    std::vector<Entry> entries;
    for (const QRect &frame : frames) {
      QImage image(400, 300, QImage::Format_ARGB32_Premultiplied);
      image.fill(Qt::white);
      entries.push_back({std::make_unique<CrelDocument>(image, AnnotationPreferences::shared()), frame});
    }
    return entries;
  }
  void clear() override { ++clears; }
};

void drag(QWidget *view, QPointF from, QPointF to) {
  const auto send = [view](QEvent::Type type, QPointF at, Qt::MouseButtons held) {
    QMouseEvent event(type, at, view->mapToGlobal(at), Qt::LeftButton, held, Qt::NoModifier);
    QCoreApplication::sendEvent(view, &event);
  };
  send(QEvent::MouseButtonPress, from, Qt::LeftButton);
  send(QEvent::MouseMove, (from + to) / 2, Qt::LeftButton);
  send(QEvent::MouseButtonRelease, to, Qt::NoButton);
}

QByteArray readFile(const QString &path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QImage still() {
  QImage image(800, 600, QImage::Format_RGB32);
  image.fill(QColor(30, 120, 200));
  return image;
}

// The delegate over real services with stand-ins at their edges: stills on
// request, panels that never reach the screen, no key grab (no display).
class Delegate : public ::testing::Test {
protected:
  Delegate() {
    qunsetenv("DISPLAY");
    Pasteboard::overrideGeneral(&pasteboard);
  }
  ~Delegate() override {
    delegate.reset();
    for (QWidget *w : QApplication::topLevelWidgets())
      w->close();
    Pasteboard::overrideGeneral(nullptr);
  }

  AppDelegate &make() {
    AppServices services{
        shortcuts, capture, updates, login, session, pictures.path() + "/Crel", [this] {
                           return clock; }};
    delegate = std::make_unique<AppDelegate>(services);
    return *delegate;
  }

  // Runs the capture road up to a selection on the one display.
  void captureRegion() {
    delegate->newCapture();
    ASSERT_TRUE(pendingStills);
    auto done = std::move(pendingStills);
    pendingStills = nullptr;
    done({CaptureSnapshot{1, geom::Rect(0, 0, 800, 600), still()}}, nullptr);
    ASSERT_FALSE(panels.empty());
    drag(panels.back()->contentView(), {100, 100}, {300, 250});
    ASSERT_TRUE(QTest::qWaitFor([&] { return capture.phase() == CaptureCoordinator::Phase::idle; }));
  }

  QList<QWidget *> visibleWindows(const QString &objectName) const {
    QList<QWidget *> found;
    for (QWidget *w : QApplication::topLevelWidgets())
      if (w->isVisible() && w->objectName() == objectName)
        found.append(w);
    return found;
  }

  test::TemporarySettings settings;
  QTemporaryDir pictures;
  FakePasteboard pasteboard;
  QDateTime clock = QDateTime::fromSecsSinceEpoch(1'800'000'000, Qt::UTC);
  ShortcutManager shortcuts{settings.store()};
  CaptureSnapshot::Completion pendingStills;
  std::vector<std::shared_ptr<SilentCapturePanel>> panels;
  CaptureCoordinator capture{[this](QObject *, CaptureSnapshot::Completion done) {
                               pendingStills = std::move(done);
                               return SnapshotRequest();
                             },
                             [this](const geom::Rect &rect) {
                               panels.push_back(std::make_shared<SilentCapturePanel>(rect));
                               return panels.back();
                             }};
  FakeUpdates updates;
  FakeLoginItemService loginService;
  LaunchAtLogin login{loginService, settings.store(), false};
  FakeSession session;
  std::unique_ptr<AppDelegate> delegate;
};

} // namespace

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
       "Choose a PNG"},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.name);
    session = FakeSession();
    session.present = row.sessionFile;
    make().launch(row.options);
    QCoreApplication::processEvents();
    EXPECT_EQ(!visibleWindows("settings").isEmpty(), row.welcome);
    EXPECT_EQ(capture.phase() != CaptureCoordinator::Phase::idle, row.capturing);
    EXPECT_EQ(delegate->editors().size(), row.editors);
    EXPECT_EQ(session.reads, row.sessionFile && !row.options.isolatedTest ? 1 : 0);
    EXPECT_EQ(session.clears, session.reads);
    EXPECT_EQ(updates.started, 1);
    // Reported, and the launch went on.
    EXPECT_TRUE(delegate->lastAlert().contains(row.alert)) << delegate->lastAlert().toStdString();
    capture.cancel();
    updates.started = 0;
    delegate.reset();
  }
}

TEST_F(Delegate, SessionRestoreReopensEditorsAndKeepsAnUnreadableFile) {
  session.present = true;
  const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
  const QRect inside(area.topLeft() + QPoint(10, 10), QSize(640, 480));
  session.frames = {QRect(100, -5000, 640, 480), inside};
  make().launch({});
  ASSERT_EQ(delegate->editors().size(), 2u);
  EXPECT_EQ(session.clears, 1);
  EXPECT_TRUE(visibleWindows("settings").isEmpty());
  EXPECT_FALSE(delegate->yieldActivationUntil());
  EXPECT_EQ(delegate->editors()[1]->window()->frameGeometry().topLeft(), inside.topLeft());
  delegate.reset();

  session = FakeSession();
  session.present = session.failRead = true;
  make().launch({});
  EXPECT_EQ(session.clears, 0) << "the file stays for a later launch";
  EXPECT_TRUE(delegate->lastAlert().contains("saved session"));
}

TEST_F(Delegate, AfterARelaunchThatRestoredNothingTheHandBackIsTriedOnce) {
  session.present = true;
  QWidget tool(nullptr, Qt::Tool);
  tool.show();
  make().launch({});
  EXPECT_TRUE(visibleWindows("settings").isEmpty());
  // Tried at launch when active, else at the activation that follows.
  if (delegate->yieldActivationUntil())
    delegate->yieldActivation();
  EXPECT_FALSE(delegate->yieldActivationUntil());
  EXPECT_FALSE(tool.isVisible());
  tool.show();
  delegate->yieldActivation();
  EXPECT_TRUE(tool.isVisible()) << "tried once only";
}

TEST_F(Delegate, ACaptureOpensAnEditorThatSavesIntoThePicturesFolder) {
  make().launch({true, false, false});
  int shown = 0;
  QObject::connect(delegate.get(), &AppDelegate::editorShown, [&shown] { ++shown; });
  captureRegion();
  ASSERT_EQ(shown, 1);
  ASSERT_EQ(delegate->editors().size(), 1u);
  EditorController &editor = *delegate->editors().front();
  EXPECT_TRUE(editor.window()->isVisible());
  const QStringList saved = QDir(pictures.path() + "/Crel").entryList({"*.png"}, QDir::Files);
  ASSERT_EQ(saved.size(), 1);
  EXPECT_EQ(QImage(pictures.path() + "/Crel/" + saved.front()).size(), QSize(200, 150));

  // A change made just before the run ends is saved on the way out.
  const QByteArray before = readFile(pictures.path() + "/Crel/" + saved.front());
  QList<Mark> marks{test::makeMark(MarkTool::rectangle, {20, 20}, {120, 90})};
  editor.document().commit(marks);
  EXPECT_EQ(readFile(pictures.path() + "/Crel/" + saved.front()), before) << "the save waits for its debounce";
  delegate.reset();
  EXPECT_NE(readFile(pictures.path() + "/Crel/" + saved.front()), before);
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
  // The offscreen platform reports the application active while a window has focus.
  EXPECT_EQ(updates.idle(), QGuiApplication::applicationState() != Qt::ApplicationActive);
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

TEST_F(Delegate, StatusMenuRetitlesCaptureAndListsScreenshotsNewestFirst) {
  make().launch({true, false, false});
  QMenu &menu = *delegate->statusItem().menu();
  QStringList titles;
  for (QAction *a : menu.actions())
    titles << a->text();
  EXPECT_EQ(titles, QStringList({"Capture an area", "Open Image…", "Open Saved Images Folder", "Open Screenshots", "",
                                 "Settings…", "Check for Updates…", "Quit"}));
  QMenu &screenshots = *delegate->menus().screenshotsMenu();
  ASSERT_EQ(screenshots.actions().size(), 1);
  EXPECT_EQ(screenshots.actions().front()->text(), "No open screenshots");
  EXPECT_FALSE(screenshots.actions().front()->isEnabled());

  Q_EMIT menu.aboutToShow();
  EXPECT_EQ(menu.actions().front()->text(), "Capture an area  Ctrl+Shift+2");
  EXPECT_TRUE(delegate->statusItem().isMenuOpen());
  Q_EMIT menu.aboutToHide();
  EXPECT_FALSE(delegate->statusItem().isMenuOpen());

  captureRegion();
  captureRegion();
  ASSERT_EQ(delegate->editors().size(), 2u);
  EditorController *older = delegate->editors()[0].get(), *newer = delegate->editors()[1].get();
  ASSERT_TRUE(QTest::qWaitForWindowActive(newer->window()));
  older->window()->showMinimized();
  delegate->refreshOpenScreenshotsMenu();
  const QList<QAction *> entries = screenshots.actions();
  ASSERT_EQ(entries.size(), 2);
  EXPECT_TRUE(entries[0]->text().contains(newer->window()->windowTitle().remove("[*]")));
  EXPECT_TRUE(entries[0]->isChecked()) << "the key window";
  EXPECT_TRUE(entries[1]->text().startsWith("– ")) << "minimised";

  // The older entry brings its window back; once it has closed, the menu
  // loses its entry and a choice made from the old menu does nothing.
  const int olderEntry = entries[1]->data().toInt();
  entries[1]->trigger();
  EXPECT_FALSE(older->window()->isMinimized());
  older->window()->close();
  ASSERT_TRUE(QTest::qWaitFor([&] { return delegate->editors().size() == 1u; }));
  EXPECT_EQ(screenshots.actions().size(), 1);
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

TEST_F(Delegate, CopyPutsTheCurrentEditorsImageOnThePasteboardClosesItAndShowsCopied) {
  make().launch({true, false, false});
  delegate->copyCurrent();
  EXPECT_TRUE(pasteboard.data.isEmpty()) << "no editor";
  captureRegion();
  ASSERT_TRUE(QTest::qWaitForWindowActive(delegate->editors().front()->window()));
  delegate->copyCurrent();
  EXPECT_TRUE(pasteboard.data.contains("image/png"));
  // Copy closes the editor; "Copied" follows its closing.
  ASSERT_TRUE(QTest::qWaitFor([&] { return delegate->statusItem().text().title == " Copied"; }, 3000));
  EXPECT_TRUE(delegate->editors().empty());
  EXPECT_TRUE(QTest::qWaitFor([&] { return delegate->statusItem().text().title.isEmpty(); }, 3000));
}

TEST(StatusItemCopyFeedback, ASecondCopyKeepsCopiedForAFullSecondAfterIt) {
  StatusItem item(QStringLiteral("Crel"));
  QElapsedTimer sinceSecond;
  item.showCopyFeedback();
  QTest::qWait(600);
  item.showCopyFeedback();
  sinceSecond.start();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !item.isShowingCopyFeedback(); }, 3000));
  EXPECT_GE(sinceSecond.elapsed(), StatusItem::copyFeedbackMs);
  EXPECT_EQ(item.text().accessibilityLabel, "Crel");
}

TEST_F(Delegate, ASavedImagesFolderThatCannotBeMadeIsReportedOnceAndNotOpened) {
  QFile inTheWay(pictures.filePath("Crel"));
  ASSERT_TRUE(inTheWay.open(QIODevice::WriteOnly));
  inTheWay.close();
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

TEST_F(Delegate, OpenedFilesEachBecomeAnEditorOrOneAlert) {
  const QString good = pictures.filePath("shot.one.png");
  QImage(30, 20, QImage::Format_RGB32).save(good);
  const QString bad = pictures.filePath("notes.txt");
  QFile text(bad);
  ASSERT_TRUE(text.open(QIODevice::WriteOnly));
  text.write("not an image");
  text.close();
  AppDelegate &app = make();
  QSignalSpy alerts(&app, &AppDelegate::alertShown);
  const struct {
    QStringList paths;
    bool ok;
    size_t editors;
    int alerts;
  } rows[]{{{bad}, false, 0, 1}, {{good, bad}, true, 1, 2}, {{good}, true, 2, 2}};
  for (const auto &row : rows) {
    EXPECT_EQ(app.handleForwarded({ForwardedLaunch::Command::open, row.paths, {}}), row.ok);
    EXPECT_EQ(app.editors().size(), row.editors);
    EXPECT_EQ(alerts.size(), row.alerts);
  }
  // Named after the file, without its extension.
  EXPECT_TRUE(app.editors().front()->window()->windowTitle().startsWith("shot.one"))
      << app.editors().front()->window()->windowTitle().toStdString();
}

TEST_F(Delegate, ReopeningShowsTheSettingsOrBringsBackTheEditor) {
  const QString image = pictures.filePath("a.png");
  QImage(30, 20, QImage::Format_RGB32).save(image);
  const struct {
    const char *name;
    std::function<void(AppDelegate &)> reopen;
  } paths[] = {
      {"a plain second launch", [](AppDelegate &app) { EXPECT_TRUE(app.handleForwarded({})); }},
      {"a middle click on the tray icon", [](AppDelegate &app) { Q_EMIT app.statusItem().reopenRequested(); }},
  };
  for (const auto &path : paths) {
    SCOPED_TRACE(path.name);
    AppDelegate &app = make();
    app.launch({true, false, true});
    QCoreApplication::processEvents();
    ASSERT_TRUE(visibleWindows("settings").isEmpty());
    path.reopen(app);
    ASSERT_FALSE(visibleWindows("settings").isEmpty());
    visibleWindows("settings").front()->close();

    ASSERT_TRUE(app.openImageFile(image));
    QWidget *editor = app.editors().front()->window();
    editor->showMinimized();
    path.reopen(app);
    EXPECT_TRUE(visibleWindows("settings").isEmpty());
    EXPECT_FALSE(editor->isMinimized());
    EXPECT_TRUE(editor->isVisible());
    delegate.reset();
  }
}

TEST_F(Delegate, ReopeningBringsAWindowShowingASheetForwardBeforeAnyEditor) {
  const QString image = pictures.filePath("a.png");
  QImage(30, 20, QImage::Format_RGB32).save(image);
  AppDelegate &app = make();
  app.launch({true, false, true});
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
  EXPECT_TRUE(QApplication::activeWindow() == &owner || QApplication::activeWindow() == &sheet);
  EXPECT_TRUE(visibleWindows("settings").isEmpty());
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

TEST_F(Delegate, QuittingAsksEachUnsavedEditorInTurnAndCancelKeepsTheRun) {
  // Nothing can be saved: every editor is left unsaved.
  QFile inTheWay(pictures.filePath("Crel"));
  ASSERT_TRUE(inTheWay.open(QIODevice::WriteOnly));
  inTheWay.close();
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
  QTRY_VERIFY(prompt(1));
  click(prompt(1), "Cancel");
  QTRY_VERIFY(!app.quitController().isAsking());
  EXPECT_EQ(app.editors().size(), 2u);
  EXPECT_TRUE(app.editors()[1]->window()->isVisible());
}
