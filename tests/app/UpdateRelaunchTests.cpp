#include "support/TestSupport.h"

#include "document/MarkSamples.h"

#include "app/AppDelegate.h"
#include "app/LaunchAtLogin.h"
#include "app/ShortcutManager.h"
#include "app/UpdateSessionStore.h"
#include "app/UpdaterService.h"
#include "capture/CaptureCoordinator.h"
#include "document/AnnotationPreferences.h"
#include "document/CrelDocument.h"
#include "document/EditorSizePreferences.h"
#include "editor/EditorController.h"
#include "editor/EditorWindow.h"
#include "platform/HotKeyBackend.h"
#include "platform/LoginItemService.h"
#include "update/framework/Updater.h"

#include <QApplication>
#include <QMessageBox>
#include <QPainter>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace crel;

namespace {

// The real front end, noting the refusals the shell answers with.
class NotingUpdates : public UpdaterService {
public:
  using UpdaterService::UpdaterService;
  int refused = 0;
  void quitRefused() override {
    ++refused;
    UpdaterService::quitRefused();
  }
};

QImage screenshot(int seed) {
  QImage image(420, 300, QImage::Format_ARGB32_Premultiplied);
  image.fill(QColor::fromHsv(seed * 70 % 360, 60, 240));
  QPainter p(&image);
  p.fillRect(QRect(40 + seed * 10, 60, 120, 80), Qt::darkBlue);
  return image;
}

Mark mark(MarkTool tool, QPointF start, QPointF end, const QString &text = {}) {
  Mark m = test::makeMark(tool, start, end, 5);
  m.text = text;
  return m;
}

// The shell with the real update front end (its updater never started) and
// the real session file in a temporary folder; an update is staged by
// playing the update layer's callback, whose install block asks to quit.
class UpdateRelaunch : public ::testing::Test {
protected:
  UpdateRelaunch() { qunsetenv("DISPLAY"); }
  ~UpdateRelaunch() override {
    delegate.reset();
    for (QWidget *w : QApplication::topLevelWidgets())
      w->close();
  }

  // Launches; the alert about the shortcut (no X server here) is closed, as
  // an open dialog makes the application busy.
  AppDelegate &launch() {
    make().launch({});
    for (QWidget *w : QApplication::topLevelWidgets())
      if (auto *box = qobject_cast<QMessageBox *>(w))
        box->done(QMessageBox::Ok);
    QCoreApplication::processEvents();
    return *delegate;
  }

  AppDelegate &make() {
    delegate.reset();
    delegate = std::make_unique<AppDelegate>(
        AppServices{shortcuts, capture, updates, login, session, root.filePath("pictures"), {}});
    return *delegate;
  }

  EditorController &open(int seed, bool saved) {
    auto doc = std::make_unique<CrelDocument>(screenshot(seed), AnnotationPreferences::shared());
    if (saved)
      doc->enableAutosave(root.filePath("shots"), QString("Shot %1").arg(seed));
    Mark arrow = mark(MarkTool::arrow, {30, 40}, {260, 200});
    arrow.rotation = -0.4;
    const Mark blur = mark(MarkTool::blur, {200, 20}, {400, 180});
    const Mark text = mark(MarkTool::text, {20, 220}, {220, 260}, QString("Step %1").arg(seed));
    doc->commit({arrow});
    doc->commit({arrow, blur});
    doc->commit({arrow, blur, text});
    doc->undo();
    doc->setSelection(blur.id);
    if (saved)
      doc->flushAutosave();
    auto editor = std::make_unique<EditorController>(std::move(doc), EditorSizePreferences::shared());
    EditorController &shown = *editor;
    delegate->connectEditor(std::move(editor));
    shown.present();
    return shown;
  }

  void stage() {
    updates.controller().willInstallUpdateOnQuit(update::AppcastItem{"101", "1.101"},
                                                 [this] { Q_EMIT updates.quitRequested(); });
  }

  QTemporaryDir root;
  test::TemporarySettings settings;
  ShortcutManager shortcuts{settings.store()};
  CaptureCoordinator capture;
  NotingUpdates updates{[this](update::UpdaterDelegate *d, update::UserDriverDelegate *u) {
    update::Updater::Environment env;
    env.settings = &settings.store();
    return std::make_unique<update::Updater>(env, d, u);
  }};
  FakeLoginItemService loginService;
  LaunchAtLogin login{loginService, settings.store(), false};
  UpdateSessionStore session{root.filePath("data/co.quorvex.crel/UpdateSession.json")};
  std::unique_ptr<AppDelegate> delegate;
};

} // namespace

// Installing from the menu keeps every open editor; the next launch reopens
// them where they were, with their marks, and removes the file (what the
// session file keeps of a document is the self-test's).
TEST_F(UpdateRelaunch, InstallKeepsTheEditorsForTheNextLaunch) {
  launch();
  const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
  std::vector<QRect> frames;
  std::vector<QList<Mark>> marks;
  for (int i = 0; i < 2; ++i) {
    EditorController &editor = open(i, true);
    editor.window()->resize(area.size() / 2);
    editor.window()->move(area.topLeft() + QPoint(20 + 60 * i, 30 + 40 * i));
    frames.push_back(editor.window()->frameGeometry());
    marks.push_back(editor.document().marks());
  }
  stage();
  EXPECT_EQ(updates.menuTitle(), "Install Update 1.101…");
  updates.menuAction();
  EXPECT_EQ(updates.refused, 0);
  EXPECT_EQ(updates.controller().status(), "Installing the update…");
  ASSERT_TRUE(session.exists());

  launch();
  ASSERT_EQ(delegate->editors().size(), 2u);
  EXPECT_FALSE(session.exists());
  for (size_t i = 0; i < 2; ++i) {
    SCOPED_TRACE(i);
    const EditorController &editor = *delegate->editors()[i];
    // Where it was, as far as the small test screen and the window's
    // minimum width let it be.
    const QRect expected = ShellRules::restoredFrame(frames[i], {area}).value_or(QRect());
    EXPECT_EQ(editor.window()->frameGeometry().topLeft(), expected.topLeft());
    EXPECT_EQ(editor.window()->frameGeometry().height(), expected.height());
    EXPECT_TRUE(editor.window()->isVisible());
    EXPECT_EQ(editor.document().marks(), marks[i]);
  }
}

// A document that cannot be kept stops the quit: its sentence is shown,
// nothing is written, and the update stays ready to install.
TEST_F(UpdateRelaunch, AQuitThatCannotKeepADocumentIsRefused) {
  launch();
  open(1, true);
  open(2, false);
  stage();
  updates.menuAction();
  EXPECT_EQ(updates.refused, 1);
  EXPECT_FALSE(session.exists());
  EXPECT_TRUE(delegate->lastAlert().contains("Save this crel before installing the update."))
      << delegate->lastAlert().toStdString();
  // Quitting from the menu meets the same rule while the update waits.
  delegate->requestQuit();
  EXPECT_FALSE(session.exists());
  EXPECT_EQ(delegate->editors().size(), 2u);
}
