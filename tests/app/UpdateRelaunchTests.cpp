#include "DelegateFixture.h"
#include "support/TestSupport.h"

#include "app/UpdateSessionStore.h"
#include "app/UpdaterService.h"
#include "document/EditorSizePreferences.h"
#include "document/MarkSamples.h"
#include "editor/EditorController.h"
#include "editor/EditorWindow.h"
#include "update/framework/Updater.h"

#include <QAbstractButton>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMessageBox>
#include <QPainter>

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

Mark mark(MarkTool tool, QPointF start, QPointF end, const QString &text = {}) {
  Mark m = test::makeMark(tool, start, end, 5);
  m.text = text;
  return m;
}

// The shell with the real update front end (its updater never started) and
// the real session file in a temporary folder; an update is staged by
// playing the update layer's callback, whose install block asks to quit.
class UpdateRelaunch : public test::Delegate {
protected:
  ~UpdateRelaunch() override { delegate.reset(); } // before the services below go

  // Launches; the alert about the shortcut (no X server here) is closed, as
  // an open dialog makes the application busy.
  AppDelegate &launch() {
    alerts.clear();
    AppDelegate &made = make(&updater, &sessionFile);
    QObject::connect(&made, &AppDelegate::alertShown, &made, [this](const QString &text) { alerts += text; });
    made.launch({});
    answerAlerts();
    QCoreApplication::processEvents();
    return *delegate;
  }

  EditorController &open(int seed, bool saved) {
    QImage image = test::filledImage({420, 300}, QColor::fromHsv(seed * 70 % 360, 60, 240));
    QPainter(&image).fillRect(QRect(40 + seed * 10, 60, 120, 80), Qt::darkBlue);
    auto doc = std::make_unique<CrelDocument>(image, AnnotationPreferences::shared());
    if (saved)
      doc->enableAutosave(pictures.filePath("shots"), QString("Shot %1").arg(seed));
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
    return present(std::move(doc));
  }

  void stage() {
    updater.controller().willInstallUpdateOnQuit(update::AppcastItem{"101", "1.101"},
                                                 [this] { Q_EMIT updater.quitRequested(); });
  }

  NotingUpdates updater{[this](update::UpdaterDelegate *d, update::UserDriverDelegate *u) {
    update::Updater::Environment env;
    env.settings = &settings.store();
    return std::make_unique<update::Updater>(env, d, u);
  }};
  QString alerts; // every alert of the last launch
  UpdateSessionStore sessionFile{pictures.filePath("data/co.quorvex.crel/UpdateSession.json"), &settings.store()};
};

} // namespace

// Installing from the menu keeps every open editor; the next launch reopens
// them with their marks and removes the file (what the session file keeps
// of a document is the self-test's; where the windows land, the X11 suite's).
TEST_F(UpdateRelaunch, InstallKeepsTheEditorsForTheNextLaunch) {
  launch();
  std::vector<QList<Mark>> marks;
  for (int i = 0; i < 2; ++i)
    marks.push_back(open(i, true).document().marks());
  stage();
  EXPECT_EQ(updater.menuTitle(), "Install Update 1.101…");
  updater.menuAction();
  EXPECT_EQ(updater.refused, 0);
  EXPECT_EQ(updater.controller().status(), "Installing the update…");
  ASSERT_TRUE(sessionFile.exists());

  launch();
  ASSERT_EQ(delegate->editors().size(), 2u);
  EXPECT_FALSE(sessionFile.exists());
  for (size_t i = 0; i < 2; ++i) {
    SCOPED_TRACE(i);
    const EditorController &editor = *delegate->editors()[i];
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
  updater.menuAction();
  EXPECT_EQ(updater.refused, 1);
  EXPECT_FALSE(sessionFile.exists());
  EXPECT_TRUE(delegate->lastAlert().contains("Save this crel before installing the update."))
      << delegate->lastAlert().toStdString();
  // Quitting from the menu meets the same rule while the update waits.
  delegate->requestQuit();
  EXPECT_FALSE(sessionFile.exists());
  EXPECT_EQ(delegate->editors().size(), 2u);
}

// An install's request to quit that arrives while a quit prompt is open
// waits for that prompt; Cancel there refuses the install too.
TEST_F(UpdateRelaunch, ACancelledPromptRefusesTheWaitingInstall) {
  launch();
  open(1, false);
  delegate->requestQuit();
  const QList<QWidget *> prompts = visibleWindows("confirm-discard");
  ASSERT_EQ(prompts.size(), 1);
  Q_EMIT updater.quitRequested();
  EXPECT_EQ(updater.refused, 0);
  qobject_cast<QMessageBox *>(prompts.front())->escapeButton()->click();
  EXPECT_EQ(updater.refused, 1);
}

// A session file the launch can neither remove nor set aside (a read-only
// folder) stays, whole, and is never restored again over the editors it
// opened, whether every entry came back or one was damaged.
TEST_F(UpdateRelaunch, ASessionThatCannotBeRemovedIsNeverRestoredTwice) {
  for (const bool damaged : {false, true}) {
    SCOPED_TRACE(damaged ? "one entry damaged" : "every entry restored");
    launch();
    for (int i = 0; i < 2; ++i)
      open(i, true);
    stage();
    updater.menuAction();
    ASSERT_TRUE(sessionFile.exists());
    if (damaged) {
      QJsonObject record = QJsonDocument::fromJson(test::contents(sessionFile.path())).object();
      QJsonArray entries = record["entries"].toArray();
      QJsonObject entry = entries[1].toObject();
      QJsonObject document = entry["document"].toObject();
      document["originalPNG"] = QString("bm90IGEgcG5n");
      entry["document"] = document;
      entries[1] = entry;
      record["entries"] = entries;
      test::writeFile(sessionFile.path(), QJsonDocument(record).toJson(QJsonDocument::Compact));
    }
    const QByteArray saved = test::contents(sessionFile.path());
    {
      test::ReadOnlyFolder locked(QFileInfo(sessionFile.path()).absolutePath());
      if (!locked.ready())
        GTEST_SKIP() << "cannot make a read-only folder here";
      launch();
      EXPECT_EQ(delegate->editors().size(), damaged ? 1u : 2u);
      EXPECT_TRUE(alerts.contains("will not be restored again")) << alerts.toStdString();
      EXPECT_EQ(test::contents(sessionFile.path()), saved);

      launch();
      EXPECT_TRUE(delegate->editors().empty());
      EXPECT_TRUE(alerts.contains("was restored before")) << alerts.toStdString();
      EXPECT_EQ(test::contents(sessionFile.path()), saved);
    }
    // Writable again, it is set aside at the next start, still unrestored.
    launch();
    EXPECT_TRUE(delegate->editors().empty());
    EXPECT_FALSE(sessionFile.exists());
  }
}
