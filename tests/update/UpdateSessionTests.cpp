#include "support/TestSupport.h"

#include "document/MarkSamples.h"

#include "document/AnnotationPreferences.h"
#include "document/CrelDocument.h"
#include "document/CrelError.h"
#include "document/MarkGeometry.h"
#include "document/MarkValidation.h"
#include "platform/files/FileError.h"
#include "platform/files/FileLock.h"
#include "platform/files/JsonReader.h"
#include "platform/files/SettingsStore.h"
#include "platform/text/FakeTextRecognizer.h"
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
#include <condition_variable>
#include <cstddef>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <mutex>
#include <set>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

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

// Names in the folder other than the session file itself and its lock.
QStringList others(const QString &folder) {
  QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden);
  names.removeAll("UpdateSession.json");
  names.removeAll("UpdateSession.lock");
  return names;
}

// Runs `body` on a thread of its own on which hard links fail as on vfat,
// exFAT or SMB (EPERM) and a rename cannot refuse to replace (EINVAL):
// seccomp filters bind only the thread that installs them.
void withoutHardLinks(const std::function<void()> &body) {
  std::thread worker([&] {
    constexpr unsigned errnoPerm = SECCOMP_RET_ERRNO | EPERM, errnoInval = SECCOMP_RET_ERRNO | EINVAL;
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
#ifdef __NR_link
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_link, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, errnoPerm),
#endif
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_linkat, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, errnoPerm),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_renameat2, 0, 3),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args[4])),
        BPF_JUMP(BPF_JMP | BPF_JSET | BPF_K, RENAME_NOREPLACE, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, errnoInval),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    const sock_fprog program{static_cast<unsigned short>(std::size(filter)), filter};
    ASSERT_EQ(::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0), 0);
    ASSERT_EQ(::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program), 0);
    ASSERT_NE(::link("/proc/self/exe", "/nonexistent/x"), 0);
    ASSERT_EQ(errno, EPERM);
    body();
  });
  worker.join();
}

class UpdateSessionTest : public ::testing::Test {
protected:
  UpdateSessionTest() : preferences(settings.store()) {
    recognizer = std::make_shared<FakeTextRecognizer>();
    TextRecognizer::setShared(recognizer);
    // The session's lock lives in the runtime folder: this test's own.
    qputenv("CREL_RUNTIME_DIR", QFile::encodeName(runtimeFolder()));
  }
  ~UpdateSessionTest() override {
    qunsetenv("CREL_RUNTIME_DIR");
    docs.clear();
    TextRecognizer::waitForBackgroundWork();
    TextRecognizer::setShared(nullptr);
  }

  QString runtimeFolder() const { return root.filePath("run"); }
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

  // The saved file with `change` applied to the document of entry `index`.
  QByteArray damaged(int index, const std::function<void(QJsonObject &)> &change) {
    QJsonObject record = json::parse(contents(sessionFile())).toObject();
    QJsonArray entries = record["entries"].toArray();
    QJsonObject entry = entries[index].toObject();
    QJsonObject document = entry["document"].toObject();
    change(document);
    entry["document"] = document;
    entries[index] = entry;
    record["entries"] = entries;
    return QJsonDocument(record).toJson(QJsonDocument::Compact);
  }

  // A session of two saved documents, the image of entry `broken` damaged;
  // the file's bytes.
  QByteArray twoSavedOneBroken(int broken) {
    UpdateSession::save({{annotated(1, MarkTool::arrow), {}}, {annotated(2, MarkTool::arrow), {}}}, sessionFile());
    const QByteArray bytes =
        damaged(broken, [](QJsonObject &d) { d["originalPNG"] = QString(QByteArray("not a png").toBase64()); });
    test::writeFile(sessionFile(), bytes);
    return bytes;
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
              seen.insert(st.st_mode & 0777); // the lock file also has the sticky bit
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

  // A file larger than a read takes is not written.
  try {
    UpdateSession::save({{a, {}}, {c, {}}}, sessionFile(), {}, earlier.size() + 100);
    FAIL() << "saved more than a read takes";
  } catch (const CrelError &e) {
    EXPECT_EQ(e.errorDescription(), "The open crels are too large to keep for the update. Close some of them and try "
                                    "again.");
  }
  EXPECT_EQ(contents(sessionFile()), earlier);
  EXPECT_EQ(others(sessionFolder()), QStringList());

  // A write that fails at the end (the name is a folder) leaves no temporary.
  const QString blocked = root.filePath("blocked/UpdateSession.json");
  ASSERT_TRUE(QDir().mkpath(blocked));
  EXPECT_THROW(UpdateSession::save({{a, {}}}, blocked), FileError);
  EXPECT_EQ(others(root.filePath("blocked")), QStringList());
}

struct LockPlace {
  const char *name;
  // What it returns stays held through the save.
  std::function<crel::FileLock(const QString &runtime, const QString &sessionFolder)> plant;
};

void PrintTo(const LockPlace &c, std::ostream *os) { *os << c.name; }

class SessionLock : public UpdateSessionTest, public testing::WithParamInterface<LockPlace> {};

// The session's locks are files opened for writing, in the runtime folder
// and beside the session file (a home on NFS cannot lock a folder opened for
// reading), so a lock on the data folder does not matter; where a lock
// cannot be had at all, the save goes on without it rather than blaming
// another copy of the application.
TEST_P(SessionLock, OnlyAnotherHolderStopsASave) {
  ASSERT_TRUE(QDir().mkpath(sessionFolder()));
  const crel::FileLock held = GetParam().plant(runtimeFolder(), sessionFolder());
  CrelDocument &a = annotated(1, MarkTool::arrow);
  EXPECT_NO_THROW(UpdateSession::save({{a, {}}}, sessionFile()));
  EXPECT_EQ(UpdateSession::read(sessionFile(), preferences, {}, &settings.store()).entries.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Rows, SessionLock,
                         testing::Values(LockPlace{"TheDataFolderHeldByAnotherProgram",
                                                   [](const QString &, const QString &data) {
                                                     crel::FileLock folder = crel::FileLock::onFolder(data);
                                                     EXPECT_TRUE(folder.tryLock(crel::FileLock::Mode::exclusive));
                                                     return folder;
                                                   }},
                                         LockPlace{"TheLockFileIsAFolder",
                                                   [](const QString &runtime, const QString &) {
                                                     EXPECT_TRUE(QDir().mkpath(runtime + "/UpdateSession.lock"));
                                                     ::chmod(QFile::encodeName(runtime).constData(), 0700);
                                                     return crel::FileLock();
                                                   }},
                                         LockPlace{"TheLockBesideTheFileIsAFolder",
                                                   [](const QString &, const QString &data) {
                                                     EXPECT_TRUE(QDir().mkpath(data + "/UpdateSession.lock"));
                                                     return crel::FileLock();
                                                   }},
                                         LockPlace{"NoPrivateRuntimeFolder",
                                                   [](const QString &runtime, const QString &) {
                                                     EXPECT_TRUE(QDir().mkpath(runtime));
                                                     ::chmod(QFile::encodeName(runtime).constData(), 0755);
                                                     return crel::FileLock();
                                                   }}),
                         [](const auto &info) { return std::string(info.param.name); });

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
  // The decoder's detail is for the log.
  const char *damagedRecord = "The saved update session is damaged. It was kept as ";
  const Unreadable rows[] = {
      {"schema 2", damage("schema", false, 2), "The saved update session uses an unsupported format."},
      {"no schema", damage("schema", false), damagedRecord},
      {"no entries", damage("entries", false), damagedRecord},
      {"truncated", QJsonDocument(good).toJson().left(200), damagedRecord},
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

// Entries that rebuild come back whatever is wrong with another; the file
// with the one that does not is set aside, reported, and untouched by the
// next save.
TEST_F(UpdateSessionTest, GoodEntriesOfAPartlyBrokenFileAreRestored) {
  CrelDocument &a = annotated(1, MarkTool::arrow);
  CrelDocument &b = annotated(2, MarkTool::arrow);
  CrelDocument &c = annotated(3, MarkTool::arrow);
  const auto outOfRange = [](const char *list) {
    return [list](QJsonObject &document) {
      QJsonArray states = document[list].toArray();
      const qsizetype last = states.size() - 1;
      QJsonObject state = states[last].toObject();
      QJsonArray marks = state["marks"].toArray();
      QJsonObject first = marks[0].toObject();
      first["width"] = 1e12;
      marks[0] = first;
      state["marks"] = marks;
      states[last] = state;
      document[list] = states;
    };
  };
  const QString damagedDetails = "The saved details of the screenshot are damaged.";
  const struct {
    const char *name;
    std::function<void(QJsonObject &)> damage;
    QString problem; // what the user is told; empty: the document's own error
  } rows[] = {
      {"image", [](QJsonObject &d) { d["originalPNG"] = QString(QByteArray("not a png").toBase64()); }, {}},
      {"current mark",
       [](QJsonObject &d) {
         d["marks"] = QJsonArray{QJsonObject{{"tool", "arrow"}}};
       },
       damagedDetails},
      {"undo state", outOfRange("history"), damagedDetails},
      {"redo state", outOfRange("future"), damagedDetails},
      {"no document", [](QJsonObject &d) { d = QJsonObject(); }, damagedDetails},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.name);
    UpdateSession::save({{a, {}}, {b, {}}, {c, {}}}, sessionFile());
    const QByteArray damaged = this->damaged(1, row.damage);
    test::writeFile(sessionFile(), damaged);

    UpdateSession::ReadResult read = UpdateSession::read(sessionFile(), preferences);
    ASSERT_EQ(read.entries.size(), 2u);
    EXPECT_EQ(read.entries[0].document->marks(), a.marks());
    EXPECT_EQ(read.entries[1].document->marks(), c.marks());
    ASSERT_TRUE(read.failure);
    EXPECT_TRUE(read.keep);
    const QString sentence = CrelError::describe(read.failure, {});
    const QStringList aside = others(sessionFolder());
    ASSERT_EQ(aside.size(), 1);
    EXPECT_TRUE(sentence.startsWith("1 of 3 saved screenshots could not be restored")) << sentence.toStdString();
    EXPECT_TRUE(sentence.contains(row.problem + " It was kept as ")) << sentence.toStdString();
    EXPECT_TRUE(sentence.contains(". It was kept as ")) << sentence.toStdString();
    EXPECT_TRUE(sentence.contains(aside.first())) << sentence.toStdString();
    EXPECT_FALSE(QFile::exists(sessionFile()));

    UpdateSession::save({{a, {}}}, sessionFile());
    EXPECT_EQ(contents(sessionFolder() + "/" + aside.first()), damaged);
    QFile::remove(sessionFolder() + "/" + aside.first());
  }
}

// The largest mark each gesture can make, and states that never saved, all
// come back after an update: with an untouched second crel, both restore
// with their marks, undo and redo.
TEST_F(UpdateSessionTest, EveryStateTheEditorReachesSurvivesAnUpdate) {
  using MarkValidation::maxCoordinate;
  const QPointF far(9e6, 7e6);
  Mark pen = mark(MarkTool::pen, {0, 0}, {0, 0});
  for (int i = 0; i < 150'000; ++i)
    pen.points.append(QPointF(180 + 150 * std::cos(i / 900.0), 120 + i / 1000.0));
  Mark text = mark(MarkTool::text, {40, 40}, {40, 40});
  text.text = "A note";
  Mark nearTheLimit = rotated(mark(MarkTool::rectangle, {maxCoordinate - 300, 20}, {maxCoordinate - 40, 220}), 0.7);
  const struct {
    const char *name;
    Mark made;
  } rows[] = {
      {"step corner", resized(mark(MarkTool::step, {180, 120}, {180, 120}), MarkHandle::bottomRight, {779.5, 300})},
      {"step corner far out", resized(mark(MarkTool::step, {180, 120}, {180, 120}), MarkHandle::topLeft, -far)},
      {"arrow end", resized(mark(MarkTool::arrow, {20, 30}, {200, 120}), MarkHandle::end, {5000, 200})},
      {"arrow end far out", resized(mark(MarkTool::arrow, {20, 30}, {20.5, 30}), MarkHandle::end, far)},
      {"line start far out", resized(mark(MarkTool::line, {20, 30}, {200, 120}), MarkHandle::start, -far)},
      {"text at its cap", resized(text, MarkHandle::bottomRight, far)},
      {"long pen stroke", pen},
      {"rotated shape near the limit", resized(nearTheLimit, MarkHandle::bottomRight, far)},
      {"moved far out", moved(mark(MarkTool::ellipse, {20, 30}, {200, 120}), -5e7, 4e7)},
      {"past the export limit", mark(MarkTool::arrow, {20, 30}, {40'000, 60})},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.name);
    docs.clear();
    CrelDocument &edited = annotated(1, MarkTool::arrow);
    CrelDocument &untouched = annotated(2, MarkTool::arrow);
    edited.commit(edited.marks() + QList<Mark>{row.made});
    edited.selectMark(row.made, false);
    try {
      edited.flushAutosave();
    } catch (const CrelError &) {
      // Too large to export: undone, the state stays for redo.
      edited.undo();
      edited.flushAutosave();
    }
    UpdateSession::save({{edited, {}}, {untouched, {}}}, sessionFile());

    UpdateSession::ReadResult read = UpdateSession::read(sessionFile(), preferences);
    EXPECT_FALSE(read.failure) << CrelError::describe(read.failure, {}).toStdString();
    ASSERT_EQ(read.entries.size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
      const CrelDocument &before = *docs[i];
      CrelDocument &after = *read.entries[i].document;
      EXPECT_EQ(after.marks(), before.marks());
      EXPECT_EQ(after.history(), before.history());
      EXPECT_EQ(after.future(), before.future());
      EXPECT_EQ(after.stroke(), before.stroke());
    }
    CrelDocument &restored = *read.entries[0].document;
    const QList<Mark> marks = restored.marks();
    restored.undo();
    restored.redo();
    EXPECT_EQ(restored.marks(), marks);
    UpdateSession::clear(sessionFile());
  }
}

// A set-aside where hard links fail (vfat, exFAT, SMB, protected links)
// still takes the file away: the good entries are not restored twice.
TEST_F(UpdateSessionTest, ASetAsideWithoutHardLinksStillKeepsTheFile) {
  const QByteArray damaged = twoSavedOneBroken(0);

  withoutHardLinks([&] {
    UpdateSession::ReadResult read = UpdateSession::read(sessionFile(), preferences);
    EXPECT_EQ(read.entries.size(), 1u);
    const QStringList aside = others(sessionFolder());
    ASSERT_EQ(aside.size(), 1);
    EXPECT_EQ(contents(sessionFolder() + "/" + aside.first()), damaged);
    EXPECT_TRUE(CrelError::describe(read.failure, {}).contains(aside.first()));
    EXPECT_FALSE(QFile::exists(sessionFile()));
  });
}

// Where the file can be neither set aside nor rewritten, it stays and says
// so, and is remembered: no later read restores it over the newer edits.
TEST_F(UpdateSessionTest, AFileThatCannotBeSetAsideIsNeverRestoredTwice) {
  const QByteArray damaged = twoSavedOneBroken(1);
  CrelDocument &a = *docs[0];
  {
    test::ReadOnlyFolder locked(sessionFolder());
    if (!locked.ready())
      GTEST_SKIP() << "cannot make a read-only folder here";
    UpdateSession::ReadResult read = UpdateSession::read(sessionFile(), preferences, {}, &settings.store());
    EXPECT_EQ(read.entries.size(), 1u);
    EXPECT_TRUE(read.keep);
    const QString sentence = CrelError::describe(read.failure, {});
    EXPECT_TRUE(sentence.contains("was left where it is")) << sentence.toStdString();
    EXPECT_TRUE(sentence.contains("will not be restored again")) << sentence.toStdString();
    EXPECT_EQ(contents(sessionFile()), damaged);

    try {
      UpdateSession::read(sessionFile(), preferences, {}, &settings.store());
      ADD_FAILURE() << "restored a second time";
    } catch (const CrelError &e) {
      EXPECT_TRUE(e.errorDescription().startsWith("The saved update session was restored before")) << e.what();
    }
    EXPECT_EQ(contents(sessionFile()), damaged);
  }
  // Once the folder can change, the remembered file is set aside.
  EXPECT_THROW(UpdateSession::read(sessionFile(), preferences, {}, &settings.store()), CrelError);
  EXPECT_FALSE(QFile::exists(sessionFile()));
  EXPECT_EQ(others(sessionFolder()).size(), 1);
  UpdateSession::save({{a, {}}}, sessionFile());
  EXPECT_EQ(UpdateSession::read(sessionFile(), preferences, {}, &settings.store()).entries.size(), 1u);
}

// Only a regular file is read: anything else at the path is set aside and
// reported at once, without waiting for a writer or reading a device.
TEST_F(UpdateSessionTest, OnlyARegularFileIsRead) {
  ASSERT_TRUE(QDir().mkpath(sessionFolder()));
  const QByteArray path = QFile::encodeName(sessionFile());
  const struct {
    const char *name;
    std::function<void()> make;
  } rows[] = {
      {"fifo", [&] { ASSERT_EQ(::mkfifo(path.constData(), 0600), 0); }},
      {"link to a fifo",
       [&] {
         const QByteArray fifo = QFile::encodeName(root.filePath("elsewhere.fifo"));
         ASSERT_EQ(::mkfifo(fifo.constData(), 0600), 0);
         ASSERT_EQ(::symlink(fifo.constData(), path.constData()), 0);
       }},
      {"folder", [&] { ASSERT_EQ(::mkdir(path.constData(), 0700), 0); }},
      {"dangling link", [&] { ASSERT_EQ(::symlink("/nonexistent/session.json", path.constData()), 0); }},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.name);
    row.make();
    // Should a read wait for a writer, one comes and ends the wait; the test then fails instead of hanging.
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false, unblocked = false;
    std::thread writer([&] {
      std::unique_lock lock(mutex);
      if (done.wait_for(lock, std::chrono::seconds(20), [&] { return finished; }))
        return;
      unblocked = true;
      const int fd = ::open(path.constData(), O_WRONLY | O_NONBLOCK);
      if (fd >= 0)
        ::close(fd);
    });
    try {
      UpdateSession::read(sessionFile(), preferences);
      ADD_FAILURE() << "read something";
    } catch (const CrelError &e) {
      EXPECT_TRUE(e.errorDescription().startsWith("The saved update session is not a file.")) << e.what();
    }
    {
      std::lock_guard lock(mutex);
      finished = true;
    }
    done.notify_all();
    writer.join();
    EXPECT_FALSE(unblocked) << "the read waited for a writer";
    struct stat st {};
    EXPECT_NE(::lstat(path.constData(), &st), 0);
    const QStringList aside = QDir(sessionFolder()).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    ASSERT_EQ(aside.size(), 1);
    const QByteArray asidePath = QFile::encodeName(sessionFolder() + "/" + aside.first());
    EXPECT_TRUE(::unlink(asidePath.constData()) == 0 || ::rmdir(asidePath.constData()) == 0);
    QFile::remove(root.filePath("elsewhere.fifo"));
  }
}

// Tool settings out of range (a damaged or foreign record) give each tool's
// default, and the inspector never sees them.
TEST_F(UpdateSessionTest, RestoredSettingsOutOfRangeGiveTheDefaults) {
  CrelDocument &a = annotated(1, MarkTool::arrow);
  UpdateSession::save({{a, {}}}, sessionFile());
  const Ink kept{"Custom", 0.2, 0.4, 0.6};
  test::writeFile(sessionFile(), damaged(0, [&](QJsonObject &d) {
                    d["tool"] = "pen";
                    d["stroke"] = 1e30;
                    d["fontSize"] = -4;
                    d["arrowHeadScale"] = 1e30;
                    d["highlightOpacity"] = 7;
                    d["blurStrength"] = -1e30;
                    d["ink"] = QJsonObject{{"name", "Custom"}, {"red", 1e30}, {"green", 0}, {"blue", 0}};
                    d["toolWidths"] = QJsonObject{{"line", 1e30}, {"rectangle", 9}};
                    d["toolInks"] = QJsonObject{
                        {"line", QJsonObject{{"name", "Custom"}, {"red", -3}, {"green", 0}, {"blue", 0}}},
                        {"rectangle", QJsonObject{{"name", "Custom"}, {"red", 0.2}, {"green", 0.4}, {"blue", 0.6}}}};
                  }));

  UpdateSession::ReadResult read = UpdateSession::read(sessionFile(), preferences);
  ASSERT_EQ(read.entries.size(), 1u);
  CrelDocument &restored = *read.entries[0].document;
  const CrelDocument fresh(screenshot(1), preferences);
  EXPECT_EQ(restored.stroke(), AnnotationPreferences::defaultWidth(MarkTool::pen));
  EXPECT_EQ(restored.fontSize(), fresh.fontSize());
  EXPECT_EQ(restored.arrowHeadScale(), fresh.arrowHeadScale());
  EXPECT_EQ(restored.highlightOpacity(), fresh.highlightOpacity());
  EXPECT_EQ(restored.blurStrength(), fresh.blurStrength());
  EXPECT_EQ(restored.ink(), fresh.ink());
  restored.selectTool(MarkTool::line);
  EXPECT_EQ(restored.stroke(), AnnotationPreferences::defaultWidth(MarkTool::line));
  EXPECT_EQ(restored.ink(), Ink::palette().first());
  restored.selectTool(MarkTool::rectangle);
  EXPECT_EQ(restored.stroke(), 9);
  EXPECT_EQ(restored.ink(), kept);
}

} // namespace

namespace {

// An arrow dragged nearly closed gets a width below 1 from its length, and
// selecting it makes that the stroke and the arrow tool's width: the update
// keeps both as they were, and the arrow tool still gets it afterwards.
TEST_F(UpdateSessionTest, AWidthBelowOneSurvivesTheUpdate) {
  CrelDocument &doc = annotated(1, MarkTool::arrow);
  const Mark arrow = doc.marks().first();
  const Mark shortened = resizedLocally(arrow, MarkHandle::end, arrow.start + QPointF(1, 0.5));
  ASSERT_LT(shortened.width, 1);
  QList<Mark> marks = doc.marks();
  marks.first() = shortened;
  doc.commit(marks);
  doc.selectMark(shortened, false);
  doc.flushAutosave();
  const double stroke = doc.stroke();
  ASSERT_EQ(stroke, shortened.width);

  UpdateSession::save({{doc, {}}}, sessionFile());
  UpdateSession::ReadResult read = UpdateSession::read(sessionFile(), preferences);
  ASSERT_EQ(read.entries.size(), 1u);
  CrelDocument &restored = *read.entries[0].document;
  EXPECT_EQ(restored.stroke(), stroke);
  restored.selectTool(MarkTool::rectangle);
  restored.selectTool(MarkTool::arrow);
  EXPECT_EQ(restored.stroke(), stroke);
  EXPECT_EQ(restored.snapshotForUpdate().toolWidths, doc.snapshotForUpdate().toolWidths);
}

} // namespace
