#include "support/TestSupport.h"

#include "document/MarkSamples.h"

#include "document/AnnotationPreferences.h"
#include "document/CrelDocument.h"
#include "document/CrelError.h"
#include "platform/FakeTextRecognizer.h"
#include "platform/FileError.h"
#include "platform/JsonReader.h"
#include "update/UpdateSession.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <set>
#include <sys/stat.h>
#include <thread>

using namespace crel;
using test::contents;

namespace {

mode_t modeOf(const QString &path) {
  struct stat st {};
  return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 0;
}

QImage screenshot(int seed) {
  QImage image = test::filledImage({360, 240}, Qt::white);
  QPainter p(&image);
  for (int i = 0; i < 24; ++i)
    p.fillRect(QRect((i * 37 + seed * 11) % 330, (i * 23 + seed * 7) % 210, 30, 18),
               QColor::fromHsv((i * 29 + seed * 50) % 360, 200, 220));
  return image;
}

Mark mark(MarkTool tool, QPointF start, QPointF end) { return test::makeMark(tool, start, end, 6); }

// Names in the folder other than the session file itself.
QStringList others(const QString &folder) {
  QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden);
  names.removeAll("UpdateSession.json");
  return names;
}

class UpdateSessionTest : public ::testing::Test {
protected:
  UpdateSessionTest() : preferences(settings.store()) {
    recognizer = std::make_shared<FakeTextRecognizer>();
    TextRecognizer::setShared(recognizer);
  }
  ~UpdateSessionTest() override {
    docs.clear();
    TextRecognizer::waitForBackgroundWork();
    TextRecognizer::setShared(nullptr);
  }

  QString sessionFolder() const { return root.filePath("data/co.quorvex.crel"); }
  QString sessionFile() const { return sessionFolder() + "/UpdateSession.json"; }

  // A saved document with a rotated arrow, a blur and a text box, one more
  // edit undone (so there is something to redo) and the text selected.
  CrelDocument &annotated(int seed, MarkTool tool) {
    auto doc = std::make_unique<CrelDocument>(screenshot(seed), preferences);
    doc->enableAutosave(root.filePath("shots"), QString("Shot %1").arg(seed));
    Mark arrow = mark(MarkTool::arrow, {20, 30}, {200, 120});
    arrow.rotation = 0.6;
    const Mark blur = mark(MarkTool::blur, {150, 40}, {320, 160});
    Mark text = mark(MarkTool::text, {40, 170}, {240, 200});
    text.text = QString("Note %1").arg(seed);
    doc->commit({arrow});
    doc->commit({arrow, blur});
    doc->commit({arrow, blur, text});
    doc->commit({arrow, blur, text, mark(MarkTool::rectangle, {5, 5}, {80, 60})});
    doc->undo();
    doc->setSelection(text.id);
    doc->selectTool(tool);
    doc->flushAutosave();
    docs.push_back(std::move(doc));
    return *docs.back();
  }

  QTemporaryDir root;
  test::TemporarySettings settings;
  AnnotationPreferences preferences;
  std::shared_ptr<FakeTextRecognizer> recognizer;
  std::vector<std::unique_ptr<CrelDocument>> docs;
};

// Every document comes back editable, in order, with its window frame and
// history, and exports the same bytes as before the update.
TEST_F(UpdateSessionTest, RoundTripRestoresEveryDocument) {
  CrelDocument &a = annotated(1, MarkTool::arrow);
  CrelDocument &b = annotated(2, MarkTool::extract);
  CrelDocument &c = annotated(3, MarkTool::text);
  const std::vector<QRect> frames{{-1200, 40, 900, 640}, {}, {300, 200, 1024, 700}};
  UpdateSession::save({{a, frames[0]}, {b, frames[1]}, {c, frames[2]}}, sessionFile());

  UpdateSession::ReadResult read = UpdateSession::read(sessionFile(), preferences);
  EXPECT_FALSE(read.failure);
  ASSERT_EQ(read.entries.size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    const CrelDocument &before = *docs[i];
    CrelDocument &after = *read.entries[i].document;
    EXPECT_EQ(read.entries[i].frame, frames[i]);
    EXPECT_EQ(after.marks(), before.marks());
    EXPECT_EQ(after.history(), before.history());
    EXPECT_EQ(after.future(), before.future());
    EXPECT_EQ(after.selection(), before.selection());
    EXPECT_EQ(after.tool(), before.tool());
    EXPECT_EQ(after.savedURL(), before.savedURL());
    EXPECT_EQ(after.status(), "Restored after updating. Your annotations are still editable.");
    const QByteArray png = docs[i]->renderPNG();
    EXPECT_EQ(after.renderPNG(), png);
    EXPECT_EQ(contents(*after.savedURL()), png);
  }
}

// Private from the first byte: under umask 022 the file is never seen with
// any mode but 0600, also in an existing 0755 folder (which keeps its mode);
// a folder the save makes is 0700, its parents ordinary folders.
TEST_F(UpdateSessionTest, TheFileIsPrivateFromItsFirstByte) {
  const mode_t oldMask = ::umask(022);
  CrelDocument &a = annotated(1, MarkTool::arrow);
  CrelDocument &b = annotated(2, MarkTool::arrow);
  ASSERT_TRUE(QDir().mkpath(sessionFolder()));
  ASSERT_EQ(::chmod(QFile::encodeName(sessionFolder()).constData(), 0755), 0);

  std::atomic<bool> done{false};
  std::set<mode_t> seen;
  std::thread watcher([&] {
    const QByteArray folder = QFile::encodeName(sessionFolder());
    while (!done) {
      if (DIR *dir = ::opendir(folder.constData())) {
        while (const dirent *e = ::readdir(dir)) {
          struct stat st {};
          if (e->d_name[0] != '.' || std::strlen(e->d_name) > 2)
            if (::fstatat(::dirfd(dir), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode))
              seen.insert(st.st_mode & 07777);
        }
        ::closedir(dir);
      }
    }
  });
  for (int i = 0; i < 5; ++i)
    UpdateSession::save({{a, {}}, {b, {}}}, sessionFile());
  done = true;
  watcher.join();
  EXPECT_EQ(seen, std::set<mode_t>{0600});
  EXPECT_EQ(modeOf(sessionFile()), 0600u);
  EXPECT_EQ(modeOf(sessionFolder()), 0755u);
  EXPECT_EQ(others(sessionFolder()), QStringList());

  const QString fresh = root.filePath("fresh/co.quorvex.crel/UpdateSession.json");
  UpdateSession::save({}, fresh);
  EXPECT_EQ(modeOf(QFileInfo(fresh).absolutePath()), 0700u);
  EXPECT_EQ(modeOf(root.filePath("fresh")), 0755u);
  EXPECT_EQ(modeOf(fresh), 0600u);
  ::umask(oldMask);
}

// A document that cannot give its snapshot ends the save before anything
// is written: the earlier file keeps its bytes and no temporary is left.
TEST_F(UpdateSessionTest, AFailedSaveLeavesTheEarlierFile) {
  CrelDocument &a = annotated(1, MarkTool::arrow);
  CrelDocument &c = annotated(3, MarkTool::arrow);
  UpdateSession::save({{a, {}}}, sessionFile());
  const QByteArray earlier = contents(sessionFile());

  CrelDocument unsaved(screenshot(2), preferences);
  unsaved.commit({mark(MarkTool::line, {1, 1}, {50, 50})});
  try {
    UpdateSession::save({{a, {}}, {unsaved, {}}, {c, {}}}, sessionFile());
    FAIL() << "saved a document whose marks are not saved";
  } catch (const CrelError &e) {
    EXPECT_EQ(e.errorDescription(), "Save this crel before installing the update.");
  }
  EXPECT_EQ(contents(sessionFile()), earlier);
  EXPECT_EQ(others(sessionFolder()), QStringList());

  // A write that fails at the end (the name is a folder) leaves no temporary.
  const QString blocked = root.filePath("blocked/UpdateSession.json");
  ASSERT_TRUE(QDir().mkpath(blocked));
  EXPECT_THROW(UpdateSession::save({{a, {}}}, blocked), FileError);
  EXPECT_EQ(QDir(root.filePath("blocked")).entryList(QDir::Files | QDir::Hidden), QStringList());
}

struct Unreadable {
  const char *name;
  QByteArray bytes;
  const char *sentence; // the start of the error, empty: any
};

// A file that cannot be read as a whole is set aside under a name of its own
// before the error is reported, so the next save cannot overwrite it; the
// error says where it went. Absent and empty files are not errors.
TEST_F(UpdateSessionTest, AnUnreadableFileIsSetAside) {
  CrelDocument &a = annotated(1, MarkTool::arrow);
  UpdateSession::save({{a, {1, 2, 3, 4}}}, sessionFile());
  const QJsonObject good = json::parse(contents(sessionFile())).toObject();
  // Damage: a key of the record (or of its first entry) removed, or a new value.
  const auto damage = [&](const char *key, bool inEntry, QJsonValue value = {}) {
    QJsonObject o = good;
    QJsonArray entries = o["entries"].toArray();
    QJsonObject entry = entries[0].toObject();
    QJsonObject &target = inEntry ? entry : o;
    value.isUndefined() ? target.remove(key) : void(target[key] = value);
    entries[0] = entry;
    if (inEntry)
      o["entries"] = entries;
    return QJsonDocument(o).toJson();
  };
  const Unreadable rows[] = {
      {"schema 2", damage("schema", false, 2), "The saved update session uses an unsupported format."},
      {"no schema", damage("schema", false), ""},
      {"no entries", damage("entries", false), ""},
      {"no document", damage("document", true), ""},
      {"no frame", damage("frame", true), ""},
      {"truncated", QJsonDocument(good).toJson().left(200), ""},
  };
  for (const Unreadable &row : rows) {
    SCOPED_TRACE(row.name);
    const QByteArray &damaged = row.bytes;
    test::writeFile(sessionFile(), damaged);
    try {
      UpdateSession::read(sessionFile(), preferences);
      ADD_FAILURE() << "read a damaged file";
    } catch (const CrelError &e) {
      EXPECT_TRUE(e.errorDescription().startsWith(row.sentence)) << e.what();
      const QStringList aside = others(sessionFolder());
      ASSERT_EQ(aside.size(), 1);
      EXPECT_TRUE(e.errorDescription().contains(aside.first())) << e.what();
      EXPECT_EQ(contents(sessionFolder() + "/" + aside.first()), damaged);
      QFile::remove(sessionFolder() + "/" + aside.first());
    }
    EXPECT_FALSE(QFile::exists(sessionFile()));
  }

  // A frame no screen could hold comes back as no frame.
  test::writeFile(sessionFile(), damage("frame", true, QJsonArray{QJsonArray{1e300, 0}, QJsonArray{640, 480}}));
  const UpdateSession::ReadResult far = UpdateSession::read(sessionFile(), preferences);
  ASSERT_EQ(far.entries.size(), 1u);
  EXPECT_EQ(far.entries[0].frame, QRect());
  UpdateSession::clear(sessionFile());

  EXPECT_TRUE(UpdateSession::read(sessionFile(), preferences).entries.empty());
  EXPECT_FALSE(QFile::exists(sessionFile()));
  EXPECT_NO_THROW(UpdateSession::clear(sessionFile()));
  UpdateSession::save({}, sessionFile());
  EXPECT_EQ(contents(sessionFile()), R"({"schema":1,"entries":[]})");
  const UpdateSession::ReadResult none = UpdateSession::read(sessionFile(), preferences);
  EXPECT_TRUE(none.entries.empty());
  EXPECT_FALSE(none.failure);
}

// Entries that rebuild come back; the file with the one that does not is
// set aside, reported, and untouched by the next save.
TEST_F(UpdateSessionTest, GoodEntriesOfAPartlyBrokenFileAreRestored) {
  CrelDocument &a = annotated(1, MarkTool::arrow);
  CrelDocument &b = annotated(2, MarkTool::arrow);
  CrelDocument &c = annotated(3, MarkTool::arrow);
  UpdateSession::save({{a, {}}, {b, {}}, {c, {}}}, sessionFile());
  QJsonObject record = json::parse(contents(sessionFile())).toObject();
  QJsonArray entries = record["entries"].toArray();
  QJsonObject broken = entries[1].toObject();
  QJsonObject document = broken["document"].toObject();
  document["originalPNG"] = QString(QByteArray("not a png").toBase64());
  broken["document"] = document;
  entries[1] = broken;
  record["entries"] = entries;
  const QByteArray damaged = QJsonDocument(record).toJson(QJsonDocument::Compact);
  test::writeFile(sessionFile(), damaged);

  UpdateSession::ReadResult read = UpdateSession::read(sessionFile(), preferences);
  ASSERT_EQ(read.entries.size(), 2u);
  EXPECT_EQ(read.entries[0].document->marks(), a.marks());
  EXPECT_EQ(read.entries[1].document->marks(), c.marks());
  ASSERT_TRUE(read.failure);
  const QString sentence = CrelError::describe(read.failure, {});
  const QStringList aside = others(sessionFolder());
  ASSERT_EQ(aside.size(), 1);
  EXPECT_TRUE(sentence.startsWith("1 of 3 saved screenshots could not be restored")) << sentence.toStdString();
  EXPECT_TRUE(sentence.contains(aside.first())) << sentence.toStdString();
  EXPECT_FALSE(QFile::exists(sessionFile()));

  UpdateSession::save({{a, {}}}, sessionFile());
  EXPECT_EQ(contents(sessionFolder() + "/" + aside.first()), damaged);
}

} // namespace
