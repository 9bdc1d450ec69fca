#include "EditorFixture.h"

#include "document/CrelError.h"
#include "editor/EditorView.h"
#include "editor/Sheets.h"
#include "platform/clipboard/Pasteboard.h"
#include "platform/desktop/FileRevealer.h"

#include <QClipboard>
#include <QDBusConnection>
#include <QFileDialog>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>

#include <functional>

using namespace crel;
using namespace crel::test;

namespace {

class RecordingRevealer : public FileRevealer {
public:
  void reveal(const QString &path, Failed failed) override {
    paths << path;
    if (failing && failed)
      failed();
  }
  QStringList paths;
  bool failing = false;
};

class ClosingTest : public EditorFixture {
protected:
  // An editor shown and active; saved into saveFolder unless `failing`,
  // which saves under a regular file, so every write fails.
  std::unique_ptr<EditorController> openEditor(bool failing) {
    auto editor = makeEditor(EditorSize::compact);
    if (failing) {
      EXPECT_THROW(editor->document().enableAutosave(unwritableFolder(saveFolder), "Shot"), std::exception);
    } else {
      editor->document().enableAutosave(saveFolder.path(), "Shot");
    }
    editor->setFileRevealer(&revealer);
    present(*editor);
    QObject::connect(editor.get(), &EditorController::closed, [this] { events << "closed"; });
    QObject::connect(editor.get(), &EditorController::copied, [this] { events << "copied"; });
    return editor;
  }

  template <class T> static T *sheet(EditorController &editor, const char *name) {
    QDialog *dialog = Sheets::attached(editor.window());
    return dialog && dialog->objectName() == name ? qobject_cast<T *>(dialog) : nullptr;
  }
  static QAbstractButton *button(QMessageBox &box, const QString &text) {
    for (QAbstractButton *b : box.buttons())
      if (b->text() == text)
        return b;
    ADD_FAILURE() << text.toStdString();
    return nullptr;
  }
  // Lets queued work (sheets opening and closing) run.
  void drain() {
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
  }

  RecordingRevealer revealer;
  QStringList events;
};

TEST_F(ClosingTest, CopyAndCloseOfASavedDocumentPutsPngOnTheClipboardThenReportsClosedAndCopied) {
  auto editor = openEditor(false);
  // Everything is done, and reported, before the copy returns.
  editor->copyImage();
  const QByteArray png = QGuiApplication::clipboard()->mimeData()->data("image/png");
  EXPECT_EQ(QImage::fromData(png, "PNG").size(), QSize(1280, 720));
  EXPECT_FALSE(editor->window()->isVisible());
  EXPECT_EQ(events, QStringList({"closed", "copied"}));
  EXPECT_TRUE(editor->closedByCopy());
}

// A clipboard that tells later whether other programs got the copy: the
// editor stays until then, and a copy the clipboard refused or did not get
// is a copy error, not an export one: the image was rendered.
TEST_F(ClosingTest, CopyAndCloseWaitsUntilTheCopyIsPlacedAndAnUnplacedOneIsACopyError) {
  const QString notCopied = "The image could not be put on the clipboard. Try copying again.";
  const struct {
    const char *name;
    bool refused, placed;
    QString error;
  } rows[]{
      {"placed", false, true, {}},
      {"not placed", false, false, notCopied},
      {"refused", true, false, notCopied},
  };
  FakePasteboard pasteboard;
  pasteboard.holdPlacement = true;
  Pasteboard::overrideGeneral(&pasteboard);
  for (const auto &row : rows) {
    SCOPED_TRACE(row.name);
    pasteboard.failWrites = row.refused;
    pasteboard.placement = nullptr;
    auto editor = openEditor(false);
    events.clear();
    editor->copyImage();
    drain();
    if (!row.refused) {
      EXPECT_TRUE(editor->window()->isVisible());
      EXPECT_TRUE(events.isEmpty());
      ASSERT_TRUE(pasteboard.placement);
      pasteboard.placement(row.placed);
      drain();
    }
    EXPECT_EQ(editor->window()->isVisible(), !row.placed);
    EXPECT_EQ(events, row.placed ? QStringList({"closed", "copied"}) : QStringList());
    auto *alert = sheet<QMessageBox>(*editor, "error-alert");
    EXPECT_EQ(alert ? alert->text() : QString(), row.error);
    EXPECT_EQ(editor->document().status() == row.error, !row.placed);
  }
  Pasteboard::overrideGeneral(nullptr);
}

TEST_F(ClosingTest, AFailedSaveAsksBeforeClosingAndEachAnswerEndsAsItSays) {
  // Copy of an unsaved document: copied, but the window stays and asks.
  auto editor = openEditor(true);
  editor->copyImage();
  drain();
  auto *box = sheet<QMessageBox>(*editor, "confirm-discard");
  ASSERT_TRUE(box);
  EXPECT_EQ(box->text(), "This crel could not be saved automatically");
  EXPECT_TRUE(editor->window()->isVisible());
  EXPECT_FALSE(editor->closedByCopy());
  EXPECT_EQ(events, QStringList({"copied"}));
  // A second close request while it asks changes nothing.
  EXPECT_FALSE(editor->window()->close());

  button(*box, "Cancel")->click();
  drain();
  EXPECT_TRUE(editor->window()->isVisible());
  EXPECT_FALSE(editor->closingApproved());

  // Choose Folder… then a folder that cannot be written: an error, still open.
  EXPECT_FALSE(editor->window()->close());
  button(*sheet<QMessageBox>(*editor, "confirm-discard"), "Choose Folder\u2026")->click();
  auto *dialog = sheet<QFileDialog>(*editor, "choose-folder-dialog");
  ASSERT_TRUE(dialog);
  dialog->selectFile(saveFolder.filePath("in-the-way"));
  static_cast<QDialog *>(dialog)->done(QDialog::Accepted);
  auto *alert = sheet<QMessageBox>(*editor, "error-alert");
  ASSERT_TRUE(alert);
  alert->accept();
  drain();
  EXPECT_TRUE(editor->window()->isVisible());

  // Discard closes.
  EXPECT_FALSE(editor->window()->close());
  button(*sheet<QMessageBox>(*editor, "confirm-discard"), "Discard")->click();
  drain();
  EXPECT_FALSE(editor->window()->isVisible());
  EXPECT_TRUE(editor->closingApproved());
  EXPECT_EQ(events, QStringList({"copied", "closed"}));
}

// The folder dialog opens where the document saves, or, when that folder is
// gone or is no folder any more, at the nearest folder above it that exists.
TEST_F(ClosingTest, TheFolderDialogOpensAtTheNearestFolderThatExists) {
  auto editor = openEditor(false);
  const QString folder = saveFolder.path(), parent = QFileInfo(folder).absolutePath();
  const struct {
    const char *name;
    std::function<void()> change;
    QString opensAt;
  } rows[] = {
      {"the saving folder", [] {}, folder},
      {"removed", [&] { ASSERT_TRUE(QDir(folder).removeRecursively()); }, parent},
      {"a file in its place",
       [&] {
         QFile file(folder);
         ASSERT_TRUE(file.open(QIODevice::WriteOnly));
       },
       parent},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.name);
    row.change();
    editor->chooseFolder({});
    auto *dialog = sheet<QFileDialog>(*editor, "choose-folder-dialog");
    ASSERT_TRUE(dialog);
    EXPECT_EQ(dialog->directory().absolutePath().toStdString(), row.opensAt.toStdString());
    dialog->reject();
    drain();
  }
  QFile::remove(folder);
}

TEST_F(ClosingTest, ChoosingAWritableFolderSavesThereAndCloses) {
  auto editor = openEditor(true);
  EXPECT_FALSE(editor->window()->close());
  button(*sheet<QMessageBox>(*editor, "confirm-discard"), "Choose Folder\u2026")->click();
  auto *dialog = sheet<QFileDialog>(*editor, "choose-folder-dialog");
  ASSERT_TRUE(dialog);
  EXPECT_EQ(dialog->labelText(QFileDialog::Accept), "Save Here");
  const QString folder = saveFolder.filePath("chosen");
  ASSERT_TRUE(QDir().mkpath(folder));
  dialog->selectFile(folder);
  static_cast<QDialog *>(dialog)->accept();
  drain();
  EXPECT_EQ(editor->document().savedURL(), QDir(folder).filePath("Shot.png"));
  EXPECT_TRUE(QFile::exists(QDir(folder).filePath("Shot.png")));
  EXPECT_FALSE(editor->window()->isVisible());
  EXPECT_EQ(events, QStringList({"closed"}));
}

TEST_F(ClosingTest, TheDiscardPromptAnswersExactlyOnceOnEveryPath) {
  struct Path {
    const char *name;
    std::function<void(EditorController &, std::unique_ptr<EditorController> &)> end;
    QList<bool> answers;
  };
  const Path paths[] = {
      {"discard",
       [](auto &e, auto &) { button(*sheet<QMessageBox>(e, "confirm-discard"), "Discard")->click(); },
       {true}},
      {"cancel",
       [](auto &e, auto &) { button(*sheet<QMessageBox>(e, "confirm-discard"), "Cancel")->click(); },
       {false}},
      {"escape", [](auto &e, auto &) { sheet<QMessageBox>(e, "confirm-discard")->reject(); }, {false}},
      {"folder dialog cancelled",
       [](auto &e, auto &) {
         button(*sheet<QMessageBox>(e, "confirm-discard"), "Choose Folder\u2026")->click();
         sheet<QFileDialog>(e, "choose-folder-dialog")->reject();
       },
       {false}},
      // The owner drops the editor while it asks: "not closed", not silence.
      {"controller gone", [](auto &, auto &owned) { owned.reset(); }, {false}},
      {"controller gone in the folder dialog",
       [](auto &e, auto &owned) {
         button(*sheet<QMessageBox>(e, "confirm-discard"), "Choose Folder\u2026")->click();
         owned.reset();
       },
       {false}},
  };
  for (const Path &path : paths) {
    SCOPED_TRACE(path.name);
    auto editor = openEditor(true);
    EditorController &e = *editor;
    QList<bool> answers;
    e.confirmDiscard([&](bool closed) { answers << closed; });
    ASSERT_TRUE(sheet<QMessageBox>(e, "confirm-discard"));
    path.end(e, editor);
    drain();
    EXPECT_EQ(answers, path.answers);
  }
  // A cleanly saved document is approved without asking.
  auto saved = openEditor(false);
  QList<bool> answers;
  saved->confirmDiscard([&](bool closed) { answers << closed; });
  EXPECT_EQ(answers, QList<bool>({true}));
  EXPECT_FALSE(Sheets::attached(saved->window()));
}

TEST_F(ClosingTest, RevealShowsTheSavedFileOrSaysItIsGone) {
  auto unsaved = makeEditor(EditorSize::compact);
  unsaved->setFileRevealer(&revealer);
  unsaved->reveal();
  EXPECT_TRUE(revealer.paths.isEmpty());

  auto editor = openEditor(false);
  editor->reveal();
  EXPECT_EQ(revealer.paths, QStringList({saveFolder.filePath("Shot.png")}));

  // Changes are flushed before: not to a deleted file, but the file stays deleted
  // only while nothing changed; a deleted file of a saved document is rewritten.
  ASSERT_TRUE(QFile::remove(saveFolder.filePath("Shot.png")));
  QDir(saveFolder.path()).mkdir("Shot.png"); // something that is not the file
  editor->reveal();
  auto *alert = sheet<QMessageBox>(*editor, "error-alert");
  ASSERT_TRUE(alert);
  EXPECT_EQ(alert->text(), "The saved file has been moved or deleted. Save the image again to show it in its folder.");
  EXPECT_EQ(editor->document().status(), alert->text());
  EXPECT_EQ(revealer.paths.size(), 1);
  alert->accept();

  // Nothing on the desktop could show it: the user is told, not left waiting.
  QDir(saveFolder.path()).rmdir("Shot.png");
  editor->document().setStatus({});
  ASSERT_NO_THROW(editor->document().flushAutosave());
  revealer.failing = true;
  editor->reveal();
  alert = sheet<QMessageBox>(*editor, "error-alert");
  ASSERT_TRUE(alert);
  EXPECT_EQ(alert->text(),
            QStringLiteral("Could not open %1 in the file manager.").arg(QDir::toNativeSeparators(saveFolder.path())));
  alert->accept();
}

// Runs on a session bus of its own (CTest starts one with scripts/private-bus).
class FakeFileManager : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")
public:
  QStringList shown;
public Q_SLOTS:
  void ShowItems(const QStringList &uris, const QString &) { shown += uris; }
};

TEST_F(ClosingTest, OnTheSessionBusRevealAsksTheFileManagerElseOpensTheFolder) {
  if (!QDBusConnection::sessionBus().isConnected())
    GTEST_SKIP() << "no session bus";
  QList<QUrl> opened;
  bool folderOpens = true;
  DesktopFileRevealer desktop([&](const QUrl &folder, const std::function<void(bool)> &done) {
    opened << folder;
    done(folderOpens);
  });
  auto editor = openEditor(false);
  editor->setFileRevealer(&desktop);
  const QString path = saveFolder.filePath("Shot.png");

  editor->reveal(); // nobody serves FileManager1 yet
  ASSERT_TRUE(QTest::qWaitFor([&] { return !opened.isEmpty(); }, 5000));
  EXPECT_EQ(opened, QList<QUrl>({QUrl::fromLocalFile(saveFolder.path())}));
  EXPECT_FALSE(Sheets::attached(editor->window())) << "the folder opened";
  folderOpens = false; // and now not even the folder opens
  editor->reveal();
  ASSERT_TRUE(QTest::qWaitFor([&] { return Sheets::attached(editor->window()) != nullptr; }, 5000));
  EXPECT_TRUE(editor->document().status().startsWith("Could not open ")) << editor->document().status().toStdString();
  Sheets::attached(editor->window())->accept();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !Sheets::attached(editor->window()); }));

  QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "fake-file-manager");
  FakeFileManager manager;
  ASSERT_TRUE(bus.registerObject(DesktopFileRevealer::objectPath, &manager, QDBusConnection::ExportAllSlots));
  ASSERT_TRUE(bus.registerService(DesktopFileRevealer::service));
  editor->reveal();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !manager.shown.isEmpty(); }, 5000));
  EXPECT_EQ(manager.shown, QStringList({QUrl::fromLocalFile(path).toString()}));
  EXPECT_EQ(opened.size(), 2);
  bus.unregisterService(DesktopFileRevealer::service);
  QDBusConnection::disconnectFromBus("fake-file-manager");
}

} // namespace

#include "ClosingTests.moc"
