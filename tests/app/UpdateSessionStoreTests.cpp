#include "support/TestSupport.h"

#include "app/UpdateSessionStore.h"
#include "document/AnnotationPreferences.h"
#include "document/CrelDocument.h"
#include "document/CrelError.h"
#include "document/EditorSizePreferences.h"
#include "document/MarkSamples.h"
#include "editor/EditorController.h"
#include "platform/files/JsonReader.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <map>
#include <set>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace crel;

namespace {

// The user's instances on two displays, each with its own store over the
// one session file; `running` says which displays have an instance now.
class TwoDisplays {
public:
  QString file() const { return root.filePath("data/UpdateSession.json"); }

  UpdateSessionStore store(const QString &display) {
    return UpdateSessionStore(file(), &settings.store(),
                              {display, [this](const QString &d) { return running.count(d) > 0; }});
  }

  // An instance on `display` quits for the update with the crels `seeds` open.
  void save(const QString &display, const std::vector<int> &seeds) {
    std::vector<std::unique_ptr<EditorController>> editors;
    for (int seed : seeds) {
      auto doc = std::make_unique<CrelDocument>(test::filledImage({64, 48}, QColor::fromHsv(seed * 40, 90, 230)),
                                                AnnotationPreferences::shared());
      doc->enableAutosave(root.filePath("shots"), QString("Shot %1").arg(seed));
      doc->commit({test::makeMark(MarkTool::arrow, {4, 4}, {40, 30}, 3)});
      doc->flushAutosave();
      editors.push_back(std::make_unique<EditorController>(std::move(doc), EditorSizePreferences::shared()));
    }
    store(display).save(editors);
  }

  void forgetDisplays() {
    QJsonObject record = json::parse(test::contents(file())).toObject();
    QJsonArray entries;
    for (const QJsonValue &entry : record["entries"].toArray()) {
      QJsonObject earlier = entry.toObject();
      earlier.remove("display");
      earlier.remove("instance");
      entries.append(earlier);
    }
    record["entries"] = entries;
    test::writeFile(file(), QJsonDocument(record).toJson());
  }

  // A launch on `display`: the crels it reopens, by seed, in file order.
  std::vector<int> launch(const QString &display) {
    UpdateSessionStore session = store(display);
    std::vector<int> seeds;
    if (!session.exists())
      return seeds;
    for (const SessionStore::Entry &entry : session.read())
      seeds.push_back(QFileInfo(*entry.document->savedURL()).completeBaseName().section(' ', 1).toInt());
    session.clear();
    EXPECT_FALSE(QFile::exists(session.claimedPath()));
    return seeds;
  }

  QTemporaryDir root;
  test::TemporarySettings settings;
  std::set<QString> running;
};

struct Step {
  // `earlier`: the file as an earlier version writes it, without displays.
  enum { save, earlier, launch, start, stop } action;
  const char *display;
  std::vector<int> seeds; // saved, or expected back
};

struct Story {
  const char *name;
  std::vector<Step> steps;
};

void PrintTo(const Story &s, std::ostream *os) { *os << s.name; }

class SharedSession : public testing::TestWithParam<Story> {};

// Every crel comes back once, on its own display while an instance runs
// there, else with the next launch anywhere; a save never drops what another
// instance left waiting.
TEST_P(SharedSession, EachCrelComesBackOnce) {
  TwoDisplays user;
  int index = 0;
  for (const Step &step : GetParam().steps) {
    SCOPED_TRACE(index++);
    switch (step.action) {
    case Step::save: user.save(step.display, step.seeds); break;
    case Step::earlier: user.forgetDisplays(); break;
    case Step::launch: EXPECT_EQ(user.launch(step.display), step.seeds); break;
    case Step::start: user.running.insert(step.display); break;
    case Step::stop: user.running.erase(step.display); break;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SharedSession,
    testing::Values(
        Story{
            "BothSavedOneLaunchTakesBoth",
            {{Step::save, ":1", {1}}, {Step::save, ":2", {2}}, {Step::launch, ":1", {1, 2}}, {Step::launch, ":2", {}}}},
        Story{"EachReopensOnItsOwnDisplay",
              {{Step::save, ":1", {1, 3}},
               {Step::save, ":2", {2}},
               {Step::start, ":2", {}},
               {Step::launch, ":1", {1, 3}},
               {Step::start, ":1", {}},
               {Step::launch, ":2", {2}},
               {Step::launch, ":1", {}}}},
        Story{"ASaveAfterARestoreHoldsOnlyItsOwn",
              {{Step::save, ":1", {1}},
               {Step::start, ":2", {}},
               {Step::launch, ":1", {1}},
               {Step::save, ":2", {2}},
               {Step::stop, ":2", {}},
               {Step::start, ":1", {}},
               {Step::launch, ":2", {2}}}},
        // An earlier version's file goes whole to the first launch, anywhere.
        Story{"AnEarlierVersionsFile",
              {{Step::save, ":1", {5, 6}},
               {Step::earlier, "", {}},
               {Step::start, ":1", {}},
               {Step::launch, ":2", {5, 6}},
               {Step::launch, ":1", {}}}},
        Story{"ASecondSaveOfOneInstanceReplacesItsFirst",
              {{Step::save, ":1", {1}}, {Step::save, ":1", {5, 4}}, {Step::launch, ":1", {5, 4}}}}),
    [](const auto &info) { return std::string(info.param.name); });

struct Interrupted {
  const char *name;
  // Run in a child process: the first launch's restore; 0 when it said
  // what it must, unless it never ends by itself.
  std::function<int(UpdateSessionStore &)> firstLaunch;
  const char *alert; // what the second launch says; empty: nothing
};

void PrintTo(const Interrupted &c, std::ostream *os) { *os << c.name; }

class InterruptedRestore : public testing::TestWithParam<Interrupted> {};

// A restore that cannot finish is not started again: the next launch sets
// the crels it was restoring aside and says so, and the one after is quiet.
TEST_P(InterruptedRestore, IsNotRepeated) {
#if defined(__SANITIZE_ADDRESS__)
  if (std::string(GetParam().name) == "TooLargeToRebuild")
    GTEST_SKIP() << "AddressSanitizer needs the address space this row limits";
#endif
  TwoDisplays user;
  user.save(":1", {1, 2});
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    UpdateSessionStore first = user.store(":1");
    ::_exit(GetParam().firstLaunch(first));
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFSIGNALED(status) || WEXITSTATUS(status) == 0) << status;

  UpdateSessionStore second = user.store(":1");
  std::vector<SessionStore::Entry> entries;
  QString alert;
  try {
    entries = second.read();
    if (const std::exception_ptr failure = second.takeReadFailure())
      alert = CrelError::describe(failure, {});
    second.clear();
  } catch (const CrelError &e) {
    alert = e.errorDescription();
  }
  EXPECT_TRUE(entries.empty());
  const QStringList kept = QDir(QFileInfo(user.file()).absolutePath()).entryList({"*.unrestored-*"}, QDir::Files);
  EXPECT_EQ(kept.size(), 1);
  if (*GetParam().alert) {
    EXPECT_TRUE(alert.contains(GetParam().alert)) << alert.toStdString();
    EXPECT_TRUE(alert.contains(kept.value(0))) << alert.toStdString();
  } else {
    EXPECT_EQ(alert, QString());
  }
  EXPECT_EQ(user.launch(":1"), std::vector<int>{});
}

INSTANTIATE_TEST_SUITE_P(Rows, InterruptedRestore,
                         testing::Values(
                             // Killed (or crashed) before the restore was done with the file.
                             Interrupted{"DiesWhileRestoring",
                                         [](UpdateSessionStore &store) {
                                           store.read();
                                           ::raise(SIGKILL);
                                           return 0;
                                         },
                                         "did not finish"},
                             // A session larger than this machine can rebuild under its
                             // address-space limit: refused before anything is decoded.
                             Interrupted{"TooLargeToRebuild",
                                         [](UpdateSessionStore &store) {
                                           const QString path = store.path();
                                           if (::truncate(QFile::encodeName(path).constData(), qint64(96) << 20) != 0)
                                             return 2;
                                           QFile statm("/proc/self/statm");
                                           statm.open(QIODevice::ReadOnly);
                                           const rlim_t used =
                                               rlim_t(statm.readAll().split(' ').value(0).toLongLong()) *
                                               ::getpagesize();
                                           const rlimit limit{used + (rlim_t(256) << 20), used + (rlim_t(256) << 20)};
                                           ::setrlimit(RLIMIT_AS, &limit);
                                           try {
                                             store.read();
                                           } catch (const CrelError &e) {
                                             // Said at once, naming where the crels were kept.
                                             const QStringList kept =
                                                 QDir(QFileInfo(path).absolutePath()).entryList({"*.unrestored-*"});
                                             return e.errorDescription().contains("too large to restore") &&
                                                            kept.size() == 1 &&
                                                            e.errorDescription().contains(kept.first())
                                                        ? 0
                                                        : 3;
                                           }
                                           return 1;
                                         },
                                         ""}),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
