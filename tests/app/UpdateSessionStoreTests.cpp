#include "support/TestSupport.h"

#include "app/UpdateSessionStore.h"
#include "document/AnnotationPreferences.h"
#include "document/CrelDocument.h"
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

#include <map>
#include <set>

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
  enum { save, launch, start, stop } action;
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
        Story{"ASecondSaveOfOneInstanceReplacesItsFirst",
              {{Step::save, ":1", {1}}, {Step::save, ":1", {5, 4}}, {Step::launch, ":1", {5, 4}}}}),
    [](const auto &info) { return std::string(info.param.name); });

// A file of an earlier version names no display: the first launch, on any
// display, takes all of it.
TEST(SharedSessionFile, AnEarlierVersionsFileGoesToTheFirstLaunch) {
  TwoDisplays user;
  user.save(":1", {5, 6});
  QJsonObject record = json::parse(test::contents(user.file())).toObject();
  QJsonArray entries;
  for (const QJsonValue &entry : record["entries"].toArray()) {
    QJsonObject earlier = entry.toObject();
    earlier.remove("display");
    earlier.remove("instance");
    entries.append(earlier);
  }
  record["entries"] = entries;
  test::writeFile(user.file(), QJsonDocument(record).toJson());
  user.running = {":1"};
  EXPECT_EQ(user.launch(":2"), (std::vector<int>{5, 6}));
  EXPECT_FALSE(QFile::exists(user.file()));
}

} // namespace
