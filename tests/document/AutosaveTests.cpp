#include "support/TestSupport.h"

#include "document/AnnotationPreferences.h"
#include "document/CrelDocument.h"
#include "document/CrelError.h"

#include "platform/FileError.h"
#include "platform/JsonReader.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using namespace crel;

namespace {

Mark line(double y) {
  Mark m;
  m.id = QUuid::createUuid();
  m.tool = MarkTool::line;
  m.start = {10, y};
  m.end = {90, y};
  m.ink = Ink::palette().first();
  m.width = 4;
  return m;
}

QByteArray contents(const QString &path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

class AutosaveTest : public ::testing::Test {
protected:
  AutosaveTest() : preferences(settings.store()) { doc = make(); }
  std::unique_ptr<CrelDocument> make() {
    QImage image(120, 80, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    return std::make_unique<CrelDocument>(image, preferences);
  }
  QString folder(const QString &name) const { return root.filePath(name); }

  QTemporaryDir root;
  test::TemporarySettings settings;
  AnnotationPreferences preferences;
  std::unique_ptr<CrelDocument> doc;
};

} // namespace

TEST_F(AutosaveTest, ABurstOfEditsIsOneWriteAfterTheLast) {
  doc->enableAutosave(folder("shots"), "S");
  ASSERT_TRUE(doc->savedURL());
  EXPECT_EQ(*doc->savedURL(), folder("shots") + "/S.png");
  EXPECT_EQ(doc->status(), "Saved S.png");
  EXPECT_FALSE(doc->isDirty());

  QSignalSpy writes(doc.get(), &CrelDocument::savedURLChanged);
  QElapsedTimer clock;
  qint64 longestGap = 0;
  for (int i = 0; i < 3; ++i) {
    clock.start();
    doc->commit(doc->marks() + QList<Mark>{line(10 + 10 * i)});
    EXPECT_EQ(doc->status(), "Saving changes…");
    QTest::qWait(100);
    longestGap = std::max(longestGap, clock.elapsed());
  }
  if (longestGap >= CrelDocument::autosaveDelayMs)
    GTEST_SKIP() << "the machine stalled for " << longestGap << " ms between edits";
  EXPECT_EQ(writes.count(), 0);
  EXPECT_TRUE(doc->isDirty());
  QTest::qWait(250);
  EXPECT_EQ(writes.count(), 1);
  EXPECT_EQ(doc->status(), "Saved S.png");
  EXPECT_FALSE(doc->isDirty());
  EXPECT_EQ(QImage(*doc->savedURL()).size(), QSize(120, 80));
}

TEST_F(AutosaveTest, FlushWritesOnlyWhatIsNeeded) {
  doc->enableAutosave(folder("shots"), "S");
  const QString path = *doc->savedURL();
  QSignalSpy writes(doc.get(), &CrelDocument::savedURLChanged);
  doc->flushAutosave(); // unchanged, file present: nothing
  EXPECT_EQ(writes.count(), 0);
  QFile::remove(path);
  doc->flushAutosave(); // gone: written again under the same name
  EXPECT_EQ(writes.count(), 1);
  EXPECT_TRUE(QFile::exists(path));
  EXPECT_EQ(*doc->savedURL(), path);
}

TEST_F(AutosaveTest, AnUndoneChangeDoesNotLeaveSavingShowing) {
  doc->enableAutosave(folder("shots"), "S");
  doc->commit({line(20)});
  doc->undo();
  EXPECT_EQ(doc->status(), "Saving changes…");
  QTest::qWait(350);
  EXPECT_EQ(doc->status(), "Saved S.png");
}

TEST_F(AutosaveTest, NewFilesNeverReplaceExistingImages) {
  QDir().mkpath(folder("shots"));
  for (const char *name : {"S.png", "S (2).png"}) {
    QFile f(folder("shots") + "/" + name);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("keep");
  }
  doc->enableAutosave(folder("shots"), "S");
  EXPECT_EQ(*doc->savedURL(), folder("shots") + "/S (3).png");
  EXPECT_EQ(contents(folder("shots") + "/S.png"), QByteArray("keep"));
}

TEST_F(AutosaveTest, AFailedFolderChangeRollsBackAndKeepsPendingChanges) {
  doc->enableAutosave(folder("shots"), "S");
  const QString original = *doc->savedURL();
  QFile blocker(folder("plain-file"));
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  blocker.close();

  doc->commit({line(30)}); // pending, not yet written
  EXPECT_THROW(doc->changeAutosaveDirectory(folder("plain-file") + "/inside"), FileError);
  EXPECT_EQ(doc->savedURL(), original);
  ASSERT_TRUE(doc->autosaveError());
  EXPECT_TRUE(doc->autosaveError()->startsWith("Could not save: "));
  EXPECT_EQ(doc->status(), *doc->autosaveError());
  EXPECT_FALSE(doc->isDirty()); // the pending change reached the old file

  doc->commit({line(30), line(50)});
  doc->flushAutosave();
  EXPECT_EQ(*doc->savedURL(), original);
  EXPECT_FALSE(doc->autosaveError());

  doc->changeAutosaveDirectory(folder("recovered"));
  EXPECT_EQ(*doc->savedURL(), folder("recovered") + "/S.png");
  EXPECT_TRUE(QFile::exists(original)); // the old file stays
}

TEST_F(AutosaveTest, AClosedDocumentDropsItsPendingWrite) {
  doc->enableAutosave(folder("shots"), "S");
  const QByteArray before = contents(*doc->savedURL());
  const QString path = *doc->savedURL();
  doc->commit({line(40)});
  doc.reset();
  QTest::qWait(350);
  EXPECT_EQ(contents(path), before);
}

TEST_F(AutosaveTest, SnapshotNeedsSavedMarksAndRestoresEverything) {
  try {
    doc->snapshotForUpdate();
    FAIL() << "an unsaved document was snapshotted";
  } catch (const CrelError &e) {
    EXPECT_EQ(e.errorDescription(), "Save this crel before installing the update.");
  }

  doc->enableAutosave(folder("shots"), "Report - Editor");
  const Mark a = line(20), b = line(60);
  doc->commit({a});
  doc->commit({a, b});
  doc->undo();
  doc->selectTool(MarkTool::pen);
  doc->setStroke(7);
  doc->setSelection(a.id);
  const UpdateSnapshot snapshot = doc->snapshotForUpdate(); // flushes the pending write first
  EXPECT_FALSE(doc->isDirty());
  EXPECT_EQ(QImage::fromData(snapshot.originalPNG).size(), QSize(120, 80));

  JsonWriter w;
  snapshot.encode(w);
  const UpdateSnapshot read = UpdateSnapshot::decode(json::parse(w.take()));
  auto restored = CrelDocument::restoreAfterUpdate(read, preferences);
  EXPECT_EQ(restored->marks(), doc->marks());
  EXPECT_EQ(restored->future().size(), 1);
  EXPECT_EQ(restored->selection(), a.id);
  EXPECT_EQ(restored->tool(), MarkTool::pen);
  EXPECT_EQ(restored->stroke(), 7);
  EXPECT_EQ(restored->savedURL(), doc->savedURL());
  EXPECT_EQ(restored->filenameStem(), "Report - Editor");
  EXPECT_EQ(restored->status(), "Restored after updating. Your annotations are still editable.");
  restored->redo();
  EXPECT_EQ(restored->marks().size(), 2);

  UpdateSnapshot broken = read;
  broken.originalPNG = "not a png";
  EXPECT_THROW(CrelDocument::restoreAfterUpdate(broken, preferences), CrelError);
}

TEST_F(AutosaveTest, ARestoreWhoseSaveFailsStillReturnsTheDocument) {
  doc->enableAutosave(folder("shots"), "S");
  doc->commit({line(20)});
  UpdateSnapshot snapshot = doc->snapshotForUpdate();
  QFile blocker(folder("gone"));
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  blocker.close();
  snapshot.savedURL = QUrl::fromLocalFile(folder("gone") + "/S.png"); // its folder is now a file
  auto restored = CrelDocument::restoreAfterUpdate(snapshot, preferences);
  ASSERT_TRUE(restored);
  EXPECT_EQ(restored->marks().size(), 1);
  ASSERT_TRUE(restored->autosaveError());
  EXPECT_EQ(restored->status(), *restored->autosaveError());
}
