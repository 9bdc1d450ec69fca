#include "MarkSamples.h"

#include "support/TestSupport.h"

#include "document/AnnotationPreferences.h"
#include "document/CrelDocument.h"
#include "document/CrelError.h"

#include "platform/files/FileError.h"
#include "platform/files/JsonReader.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

using namespace crel;
using test::contents;

// The sanitizers replace operator new themselves.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define CREL_SANITIZED
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define CREL_SANITIZED
#endif
#endif

namespace {

Mark line(double y) { return test::makeMark(MarkTool::line, {10, y}, {90, y}); }

#ifndef CREL_SANITIZED
// Running out of memory on demand: while set, every operator new of at least
// this many bytes throws, as it does on a machine whose memory is used up.
std::atomic<std::size_t> failAllocationsFrom{0};
#endif

class AutosaveTest : public ::testing::Test {
protected:
  AutosaveTest() : preferences(settings.store()) { doc = make(); }
  std::unique_ptr<CrelDocument> make(QSize size = {120, 80}) {
    QImage image = test::filledImage(size, Qt::white);
    return std::make_unique<CrelDocument>(image, preferences);
  }
  QString folder(const QString &name) const { return root.filePath(name); }

  QTemporaryDir root;
  test::TemporarySettings settings;
  AnnotationPreferences preferences;
  std::unique_ptr<CrelDocument> doc;
};

} // namespace

#ifndef CREL_SANITIZED
void *operator new(std::size_t size) {
  const std::size_t limit = failAllocationsFrom.load(std::memory_order_relaxed);
  if (limit != 0 && size >= limit)
    throw std::bad_alloc();
  if (void *p = std::malloc(size == 0 ? 1 : size))
    return p;
  throw std::bad_alloc();
}
void operator delete(void *p) noexcept { std::free(p); }
void operator delete(void *p, std::size_t) noexcept { std::free(p); }
#endif

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
  EXPECT_TRUE(QTest::qWaitFor([&] { return doc->status() == "Saved S.png"; }));
}

TEST_F(AutosaveTest, AFailedFolderChangeRollsBackAndKeepsPendingChanges) {
  doc->enableAutosave(folder("shots"), "S");
  const QString original = *doc->savedURL();

  doc->commit({line(30)}); // pending, not yet written
  EXPECT_THROW(doc->changeAutosaveDirectory(test::unwritableFolder(root)), FileError);
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
  // A document changed after it has written by now.
  auto witness = make();
  witness->enableAutosave(folder("witness"), "W");
  witness->commit({line(40)});
  ASSERT_TRUE(QTest::qWaitFor([&] { return !witness->isDirty(); }));
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
  doc->commit({line(20)});
  doc->selectTool(MarkTool::pen);
  doc->setStroke(7);
  const UpdateSnapshot snapshot = doc->snapshotForUpdate(); // flushes the pending write first
  EXPECT_FALSE(doc->isDirty());
  EXPECT_EQ(QImage::fromData(snapshot.originalPNG).size(), QSize(120, 80));

  JsonWriter w;
  snapshot.encode(w);
  const UpdateSnapshot read = UpdateSnapshot::decode(json::parse(w.take()));
  auto restored = CrelDocument::restoreAfterUpdate(read, preferences);
  EXPECT_EQ(restored->tool(), MarkTool::pen);
  EXPECT_EQ(restored->stroke(), 7);
  EXPECT_EQ(restored->filenameStem(), "Report - Editor");

  UpdateSnapshot broken = read;
  broken.originalPNG = "not a png";
  try {
    CrelDocument::restoreAfterUpdate(broken, preferences);
    ADD_FAILURE() << "damaged image data restored";
  } catch (const CrelError &e) {
    // Not the sentence for choosing an image to open: nobody chose one.
    EXPECT_EQ(e.errorDescription(), "The screenshot's saved image data is damaged.");
  }
}

// A session record is outside data: the file it names is written over only
// when it is missing from a folder that exists, or is the PNG this document
// wrote; anything else stays as it is and the document saves anew.
TEST_F(AutosaveTest, ARestoreWritesOnlyTheFileItsDocumentSaved) {
  doc->enableAutosave(folder("shots"), "S");
  doc->commit({line(20)});
  const UpdateSnapshot snapshot = doc->snapshotForUpdate();
  const QString own = *doc->savedURL();
  const QString saved = folder("Pictures/Crel");
  const QString other = folder("other");
  QDir().mkpath(other);
  const QByteArray otherPng = test::encodedImage(test::filledImage({120, 80}, Qt::red), "PNG");
  const struct {
    const char *name;
    QString file;        // what the record names
    QByteArray contents; // put there first; empty: nothing
    bool link = false;   // a link to the document's own file instead
    bool rewritten;      // else left alone and saved anew in the saved-images folder
  } cases[]{
      {"its own file", own, contents(own), false, true},
      {"its file deleted", other + "/gone.png", {}, false, true},
      {"a settings file", other + "/settings.ini", "[General]\nkey=1\n", false, false},
      {"text named as a PNG", other + "/notes.png", "some notes\n", false, false},
      {"a PNG of another size", other + "/photo.png", otherPng.left(16) + QByteArray(8, 0) + otherPng.mid(24), false,
       false},
      {"a link to its own file", other + "/link.png", {}, true, false},
      {"a folder that is gone", folder("gone/deeper/S.png"), {}, false, false},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    if (c.link)
      QFile::link(own, c.file);
    else if (!c.contents.isEmpty() && c.file != own)
      test::writeFile(c.file, c.contents);
    const QByteArray before = contents(c.file);
    UpdateSnapshot record = snapshot;
    record.savedURL = QUrl::fromLocalFile(c.file);
    QString notice;
    const auto restored = CrelDocument::restoreAfterUpdate(record, preferences, saved, &notice);
    ASSERT_TRUE(restored->savedURL());
    if (c.rewritten) {
      EXPECT_EQ(*restored->savedURL(), c.file);
      EXPECT_TRUE(notice.isEmpty()) << notice.toStdString();
      continue;
    }
    EXPECT_TRUE(restored->savedURL()->startsWith(saved + "/")) << restored->savedURL()->toStdString();
    EXPECT_EQ(QImage(*restored->savedURL()).size(), QSize(120, 80));
    EXPECT_EQ(contents(c.file), before);
    EXPECT_EQ(QFileInfo(c.file).isSymLink(), c.link);
    EXPECT_FALSE(QFileInfo::exists(folder("gone")));
    EXPECT_TRUE(notice.contains(QFileInfo(*restored->savedURL()).fileName())) << notice.toStdString();
    EXPECT_TRUE(notice.contains(QFileInfo(c.file).fileName())) << notice.toStdString();
  }
}

TEST_F(AutosaveTest, ARestoreWhoseSaveFailsStillReturnsTheDocument) {
  doc->enableAutosave(folder("shots"), "S");
  doc->commit({line(20)});
  UpdateSnapshot snapshot = doc->snapshotForUpdate();
  // Its folder gone, and no new one can be made in the saved-images folder.
  const QString unwritable = test::unwritableFolder(root);
  snapshot.savedURL = QUrl::fromLocalFile(unwritable + "/S.png");
  auto restored = CrelDocument::restoreAfterUpdate(snapshot, preferences, unwritable);
  ASSERT_TRUE(restored);
  EXPECT_EQ(restored->marks().size(), 1);
  ASSERT_TRUE(restored->autosaveError());
  EXPECT_EQ(restored->status(), *restored->autosaveError());
}

TEST_F(AutosaveTest, ALargeScreenshotComesBackAfterAnUpdate) {
  // Over 40 megapixels: more than Qt decodes by default.
  doc = make({8'000, 5'200});
  doc->enableAutosave(folder("shots"), "Large");
  doc->commit({line(20)});
  JsonWriter w;
  doc->snapshotForUpdate().encode(w);
  const UpdateSnapshot read = UpdateSnapshot::decode(json::parse(w.take()));
  const auto restored = CrelDocument::restoreAfterUpdate(read, preferences);
  EXPECT_EQ(restored->pixelSize(), QSize(8'000, 5'200));
  EXPECT_EQ(restored->marks(), doc->marks());
}

TEST_F(AutosaveTest, RunningOutOfMemoryForTheUpdateSnapshotIsTheRefusal) {
#ifdef CREL_SANITIZED
  GTEST_SKIP() << "the sanitizers keep their own operator new";
#else
  doc = make({2'000, 1'500});
  doc->enableAutosave(folder("shots"), "Large");
  failAllocationsFrom = 64 * 1024;
  try {
    doc->snapshotForUpdate();
    ADD_FAILURE() << "no failure";
  } catch (const CrelError &e) {
    EXPECT_EQ(e.errorDescription(), "Save this crel before installing the update.");
  } catch (...) {
    ADD_FAILURE() << "another error escaped";
  }
  failAllocationsFrom = 0;
#endif
}

TEST_F(AutosaveTest, TwoProcessesSavingOneNewNameBothSave) {
  // Both choose the same free name at about the same moment; the one that
  // loses the race takes the next free name at once instead of failing.
  for (int round = 0; round < 6; ++round) {
    SCOPED_TRACE(round);
    doc = make({1'500, 1'000});
    const QString shots = folder(QStringLiteral("race-%1").arg(round));
    QProcess other;
    other.start(CREL_AUTOSAVE_RACER, {shots, "S"});
    ASSERT_TRUE(other.waitForReadyRead(30'000));
    ASSERT_EQ(other.readLine().trimmed(), "ready");
    other.write("go\n");
    other.waitForBytesWritten();
    bool saved = false;
    try {
      doc->enableAutosave(shots, "S");
      saved = true;
    } catch (const std::exception &) {
    }
    ASSERT_TRUE(other.waitForFinished(30'000));
    EXPECT_TRUE(saved) << doc->status().toStdString();
    EXPECT_EQ(other.exitCode(), 0) << other.readAll().toStdString();
    EXPECT_EQ(QDir(shots).entryList(QDir::Files | QDir::Hidden, QDir::Name), QStringList({"S (2).png", "S.png"}));
  }
}
