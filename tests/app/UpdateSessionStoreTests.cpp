#include "support/LaunchProcess.h"
#include "support/TestSupport.h"

#include "app/SessionRestore.h"
#include "app/UpdateSessionStore.h"
#include "app/WindowPresentation.h"
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
#include <QRandomGenerator>
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

// Brings the room left in this process's address space down to `bytes`.
void limitMemory(qint64 bytes) {
  QFile statm("/proc/self/statm");
  statm.open(QIODevice::ReadOnly);
  const rlim_t used = rlim_t(statm.readAll().split(' ').value(0).toLongLong()) * ::getpagesize();
  const rlimit limit{used + rlim_t(bytes), used + rlim_t(bytes)};
  ::setrlimit(RLIMIT_AS, &limit);
}

// Runs `body` in a child process; whether it returned true.
bool inChild(const std::function<bool()> &body) {
  const pid_t child = ::fork();
  if (child == 0)
    ::_exit(body() ? 0 : 1);
  int status = 0;
  return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The user's instances on two displays, each with its own store over the
// one session file; `running` says which displays have an instance now. A
// display written "far/:1" is display :1 of another machine sharing the home.
class TwoDisplays {
public:
  QString file() const { return root.filePath("data/UpdateSession.json"); }

  UpdateSessionStore store(const QString &display) {
    const QString machine = display.contains('/') ? display.section('/', 0, 0) : QString();
    return UpdateSessionStore(
        file(), &settings.store(),
        {display.section('/', -1), [this](const QString &d) { return running.count(d) > 0; }, machine});
  }

  // The crels an instance on `display` has open; `large` ones are
  // screenshots of noise, megabytes each; `wide` ones small screenshots with
  // an arrow far past their edge, a canvas of 144 MB to save.
  std::vector<std::unique_ptr<EditorController>> editors(const std::vector<int> &seeds, bool large = false,
                                                         bool wide = false) {
    std::vector<std::unique_ptr<EditorController>> editors;
    for (int seed : seeds) {
      QImage image = test::filledImage(large ? QSize(2400, 2400) : QSize(64, 48), QColor::fromHsv(seed * 40, 90, 230));
      if (large) {
        QRandomGenerator noise(seed);
        for (int y = 0; y < image.height(); ++y)
          noise.fillRange(reinterpret_cast<quint32 *>(image.scanLine(y)), image.width());
        image = image.convertToFormat(QImage::Format_RGB32);
      }
      auto doc = std::make_unique<CrelDocument>(image, AnnotationPreferences::shared());
      doc->enableAutosave(root.filePath("shots"), QString("Shot %1").arg(seed));
      doc->commit({test::makeMark(MarkTool::arrow, {4, 4}, wide ? QPointF(6000, 6000) : QPointF(40, 30), 3)});
      doc->flushAutosave();
      editors.push_back(std::make_unique<EditorController>(std::move(doc), EditorSizePreferences::shared()));
    }
    return editors;
  }

  // An instance on `display` quits for the update with the crels `seeds` open.
  void save(const QString &display, const std::vector<int> &seeds, bool large = false, bool wide = false) {
    store(display).save(editors(seeds, large, wide));
  }

  // The same while the memory left is half the file's size: refused, said,
  // and nothing another instance left waiting is touched.
  void saveShortOfMemory(const QString &display, const std::vector<int> &seeds) {
    const auto open = editors(seeds);
    const QByteArray before = test::contents(file());
    EXPECT_TRUE(inChild([&] {
      limitMemory(before.size() / 2);
      try {
        store(display).save(open);
      } catch (const CrelError &e) {
        return e.errorDescription().contains("not enough free memory");
      }
      return false;
    }));
    EXPECT_EQ(test::contents(file()), before);
  }

  // This machine's ":1" saves `seeds[0]` and `display` saves `seeds[1]` at
  // the same moment, as two machines do: each with a runtime folder of its
  // own. (With large crels waiting, each save reads and writes for a while.)
  void saveTogether(const QString &display, const std::vector<int> &seeds) {
    const QString displays[] = {":1", display};
    int gate[2];
    ASSERT_EQ(::pipe(gate), 0);
    pid_t children[2];
    for (int i = 0; i < 2; ++i)
      if (const auto open = editors({seeds[i]}); (children[i] = ::fork()) == 0) {
        ::close(gate[1]);
        char byte;
        (void)!::read(gate[0], &byte, 1);
        qputenv("CREL_RUNTIME_DIR", QFile::encodeName(root.filePath(QString("run-%1").arg(i))));
        store(displays[i]).save(open);
        ::_exit(0);
      }
    ::close(gate[0]);
    ::close(gate[1]); // both go
    for (const pid_t child : children) {
      int status = 0;
      EXPECT_TRUE(::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
  }

  // Removes `keys` from every entry, as an earlier version wrote them.
  void forget(const QStringList &keys) {
    QJsonObject record = json::parse(test::contents(file())).toObject();
    QJsonArray entries;
    for (const QJsonValue &entry : record["entries"].toArray()) {
      QJsonObject earlier = entry.toObject();
      for (const QString &key : keys)
        earlier.remove(key);
      entries.append(earlier);
    }
    record["entries"] = entries;
    test::writeFile(file(), QJsonDocument(record).toJson());
  }

  struct Launched {
    std::vector<int> seeds; // the crels reopened, by seed, in file order
    bool welcome = false;   // the welcome window is shown
    QString said;           // the alert, if any
  };

  // A plain launch on `display`.
  Launched launch(const QString &display) {
    UpdateSessionStore session = store(display);
    std::vector<std::unique_ptr<EditorController>> reopened;
    Launched launched;
    const bool existed = SessionRestore::restore(
        session, {[&](std::unique_ptr<EditorController> e) { reopened.push_back(std::move(e)); },
                  [&](const QString &said) { launched.said += said; }});
    EXPECT_FALSE(QFile::exists(session.claimedPath()));
    for (const auto &editor : reopened)
      launched.seeds.push_back(QFileInfo(*editor->document().savedURL()).completeBaseName().section(' ', 1).toInt());
    launched.welcome = WindowPresentation::launchEnd(false, false, existed, !reopened.empty()) ==
                       WindowPresentation::LaunchEnd::settings;
    return launched;
  }

  // A launch while the memory left is `room`, else half the file's size: it
  // restores nothing, says why, and leaves the file as it was for the next
  // launch.
  void launchShortOfMemory(const QString &display, qint64 room = 0) {
    const QByteArray before = test::contents(file());
    EXPECT_TRUE(inChild([&] {
      limitMemory(room ? room : before.size() / 2);
      UpdateSessionStore session = store(display);
      try {
        session.read();
      } catch (const CrelError &e) {
        return e.errorDescription().contains("not enough free memory");
      }
      return false;
    }));
    EXPECT_EQ(test::contents(file()), before);
    const QDir folder(QFileInfo(file()).absolutePath());
    EXPECT_EQ(folder.entryList({"*.json"}, QDir::Files), QStringList{"UpdateSession.json"});
  }

  // A launch that dies while it restores (killed, or crashed).
  void launchThatDies(const QString &display) {
    EXPECT_FALSE(inChild([&] {
      store(display).read();
      ::raise(SIGKILL);
      return true;
    }));
  }

  // A launch in a process of its own, where no thread of the default stack
  // size can start; it must end with its crels back, whatever Qt's pool needs.
  Launched launchInFreshProcess(const QString &display) {
    QProcessEnvironment environment = test::isolatedEnvironment(root.path());
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    const test::ProcessResult run = test::runProgram(
        CREL_RESTORE_PROBE, {file(), display, settings.path(), QString::number(400 << 20)}, environment, root.path());
    EXPECT_TRUE(run.finished) << "the restore did not end";
    Launched launched;
    for (const QString &line : run.out.split('\n', Qt::SkipEmptyParts)) {
      EXPECT_TRUE(line.startsWith("RESTORED ")) << line.toStdString();
      launched.seeds.push_back(QFileInfo(line.mid(9)).completeBaseName().section(' ', 1).toInt());
    }
    return launched;
  }

  QTemporaryDir root;
  test::TemporarySettings settings;
  std::set<QString> running;
};

struct Step {
  enum {
    save,
    saveLarge,         // crels of megabytes each
    saveWide,          // crels whose canvas takes far more memory than their screenshot
    saveShortOfMemory, // refused, and the waiting crels stay as they were
    saveTogether,      // :1 here and `display` save a crel each at once
    earlier,           // the file as a version without displays wrote it
    withoutMachine,    // the file as a version without machines wrote it
    launch,            // reopens `seeds`; the welcome window shows when none
    quiet,             // reopens nothing and shows no welcome window: a session was there
    launchShortOfMemory,
    launchShortOfMemoryToSave, // the room to read, not to write the restored crel again
    launchInFreshProcess,      // reopens `seeds` where no thread of the default size starts
    launchThatDies,
    setAside, // reopens nothing, keeps the crels aside and says why
    gone,     // no file is left
    start,
    stop
  } action;
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
// there, else with the next launch anywhere on the same machine; a save never
// drops what another instance left waiting, and a moment of low memory loses
// nothing. A launch whose session held nothing for anyone shows no welcome
// window, and the next one does.
TEST_P(SharedSession, EachCrelComesBackOnce) {
#if defined(__SANITIZE_ADDRESS__)
  if (std::string(GetParam().name).find("Memory") != std::string::npos)
    GTEST_SKIP() << "AddressSanitizer needs the address space these rows limit";
#endif
  TwoDisplays user;
  int index = 0;
  for (const Step &step : GetParam().steps) {
    SCOPED_TRACE(index++);
    switch (step.action) {
    case Step::save: user.save(step.display, step.seeds); break;
    case Step::saveLarge: user.save(step.display, step.seeds, true); break;
    case Step::saveShortOfMemory: user.saveShortOfMemory(step.display, step.seeds); break;
    case Step::saveTogether: user.saveTogether(step.display, step.seeds); break;
    case Step::earlier: user.forget({"display", "instance", "machine"}); break;
    case Step::withoutMachine: user.forget({"machine"}); break;
    case Step::launch: {
      const TwoDisplays::Launched launched = user.launch(step.display);
      EXPECT_EQ(launched.seeds, step.seeds);
      EXPECT_EQ(launched.welcome, step.seeds.empty());
      EXPECT_EQ(launched.said, QString());
      break;
    }
    case Step::quiet: {
      const TwoDisplays::Launched launched = user.launch(step.display);
      EXPECT_EQ(launched.seeds, std::vector<int>{});
      EXPECT_FALSE(launched.welcome);
      EXPECT_EQ(launched.said, QString());
      break;
    }
    case Step::launchThatDies: user.launchThatDies(step.display); break;
    case Step::setAside: {
      const TwoDisplays::Launched launched = user.launch(step.display);
      EXPECT_EQ(launched.seeds, std::vector<int>{});
      EXPECT_TRUE(launched.said.contains("did not finish")) << launched.said.toStdString();
      EXPECT_EQ(QDir(QFileInfo(user.file()).absolutePath()).entryList({"*.unrestored-*"}, QDir::Files).size(), 1);
      break;
    }
    case Step::saveWide: user.save(step.display, step.seeds, false, true); break;
    case Step::launchShortOfMemory: user.launchShortOfMemory(step.display); break;
    case Step::launchShortOfMemoryToSave: user.launchShortOfMemory(step.display, 64 << 20); break;
    case Step::launchInFreshProcess: EXPECT_EQ(user.launchInFreshProcess(step.display).seeds, step.seeds); break;
    case Step::gone: EXPECT_FALSE(QFile::exists(user.file())); break;
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
        // Entries without a machine are this machine's.
        Story{"AFileWithoutMachines",
              {{Step::save, ":2", {2}}, {Step::withoutMachine, "", {}}, {Step::launch, ":1", {2}}}},
        Story{"ASecondSaveOfOneInstanceReplacesItsFirst",
              {{Step::save, ":1", {1}}, {Step::save, ":1", {5, 4}}, {Step::launch, ":1", {5, 4}}}},
        // A quiet install quits with no editor open.
        Story{"ASaveWithNoEditorThenTwoLaunches",
              {{Step::save, ":1", {}}, {Step::quiet, ":1", {}}, {Step::gone, "", {}}, {Step::launch, ":1", {}}}},
        Story{"OnlyAnotherRunningDisplaysCrels",
              {{Step::save, ":2", {2}},
               {Step::start, ":2", {}},
               {Step::launch, ":1", {}},
               {Step::stop, ":2", {}},
               {Step::launch, ":2", {2}}}},
        // A home shared by two machines has a :1 on each.
        Story{"AnotherMachinesDisplay",
              {{Step::save, "far/:1", {1}},
               {Step::save, ":2", {2}},
               {Step::launch, ":1", {2}},
               {Step::launch, "far/:1", {1}},
               {Step::gone, "", {}}}},
        // Machines share the session file's folder, not their runtime folders.
        Story{"TwoMachinesSavingAtOnce",
              {{Step::saveLarge, ":2", {3}},
               {Step::saveTogether, "far/:1", {1, 2}},
               {Step::launch, "far/:1", {2}},
               {Step::launch, ":1", {3, 1}},
               {Step::gone, "", {}}}},
        Story{"LowMemoryLeavesTheFileThenRestoresWithMemory",
              {{Step::saveLarge, ":1", {1}},
               {Step::launchShortOfMemory, ":1", {}},
               {Step::launch, ":1", {1}},
               {Step::gone, "", {}}}},
        Story{"LowMemoryToSaveTheRestoredCrelLeavesTheFile",
              {{Step::saveWide, ":1", {1}},
               {Step::launchShortOfMemoryToSave, ":1", {}},
               {Step::launch, ":1", {1}},
               {Step::gone, "", {}}}},
        // A passing cause (memory, a killed session) loses nothing; a crash loop stops.
        Story{"ARestoreThatDiesOnceIsTriedAgain",
              {{Step::save, ":1", {1, 2}}, {Step::launchThatDies, ":1", {}}, {Step::launch, ":1", {1, 2}}}},
        Story{"ARestoreThatDiesTwiceIsSetAside",
              {{Step::save, ":1", {1, 2}},
               {Step::launchThatDies, ":1", {}},
               {Step::launchThatDies, ":1", {}},
               {Step::setAside, ":1", {}},
               {Step::launch, ":1", {}}}},
        Story{"LowMemoryForThreadsStillRestores",
              {{Step::saveLarge, ":1", {1}}, {Step::launchInFreshProcess, ":1", {1}}, {Step::gone, "", {}}}},
        Story{"AnotherInstancesSaveUnderLowMemoryKeepsOurs",
              {{Step::saveLarge, ":1", {1}},
               {Step::saveShortOfMemory, ":2", {2}},
               {Step::launch, ":1", {1}},
               {Step::launch, ":2", {}}}}),
    [](const auto &info) { return std::string(info.param.name); });

struct Interrupted {
  const char *name;
  // Run in a child process: the restore of the first launch and of the one
  // that tries it again; 0 when it said what it must, unless it never ends
  // by itself.
  std::function<int(UpdateSessionStore &)> firstLaunch;
  const char *alert; // what the launch after them says; empty: nothing
};

void PrintTo(const Interrupted &c, std::ostream *os) { *os << c.name; }

class InterruptedRestore : public testing::TestWithParam<Interrupted> {};

// A restore that cannot finish is tried once more, then not again: the
// next launch sets the crels it was restoring aside and says so, and the one
// after is quiet.
TEST_P(InterruptedRestore, IsNotRepeated) {
  TwoDisplays user;
  user.save(":1", {1, 2});
  for (int attempt = 0; attempt < 2; ++attempt) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      UpdateSessionStore first = user.store(":1");
      ::_exit(GetParam().firstLaunch(first));
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) || WEXITSTATUS(status) == 0) << status;
  }

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
  EXPECT_EQ(user.launch(":1").seeds, std::vector<int>{});
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
                                         "did not finish"}),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
