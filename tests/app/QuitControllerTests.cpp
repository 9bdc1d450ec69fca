#include "app/QuitController.h"

#include "editor/EditorFixture.h"
#include "editor/Sheets.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <stdexcept>

using namespace crel;
using Reply = QuitController::Reply;

namespace {

// An editor whose prompt waits for the test to answer, or a real one, as
// the application hands it to the quit.
struct FakeEditor {
  bool needsDecision = false;
  bool flushed = false, fronted = false;
  int asked = 0;
  std::function<void(bool)> answer;
  std::unique_ptr<QObject> identity = std::make_unique<QObject>();
  QPointer<EditorController> real;

  QuitController::Editor hooks() {
    if (real)
      return {{},
              [e = real] { return e && !EditorController::cleanlySaved(e->document()); },
              [e = real] { e->present(); },
              [this](std::function<void(bool)> done) {
                ++asked;
                real->confirmDiscard(std::move(done));
              },
              real.data()};
    return {[this] { flushed = true; }, [this] { return needsDecision; }, [this] { fronted = true; },
            [this](std::function<void(bool)> done) {
              ++asked;
              answer = std::move(done);
            },
            identity.get()};
  }
};

struct World {
  bool updatePending = false, busy = false, sessionFails = false;
  int terminated = 0, reported = 0, captureCancelled = 0, sessionsSaved = 0;
  std::deque<FakeEditor> editors; // one may come while the others are asked

  QuitController::Hooks hooks() {
    return {[this] { return updatePending; },
            [this] { return busy; },
            [this] {
              if (sessionFails)
                throw std::runtime_error("no room for the session");
              ++sessionsSaved;
            },
            [this](const std::exception_ptr &) { ++reported; },
            [this] { ++captureCancelled; },
            [this] {
              std::vector<QuitController::Editor> list;
              for (FakeEditor &e : editors)
                list.push_back(e.hooks());
              return list;
            },
            [this] { ++terminated; }};
  }
};

} // namespace

TEST(QuitController, WithNothingToLoseTheRunEndsAtOnceAfterEveryEditorFlushed) {
  World world;
  world.editors.resize(2);
  QuitController quit(world.hooks());
  EXPECT_EQ(quit.requestQuit(), Reply::now);
  EXPECT_EQ(world.terminated, 1);
  EXPECT_EQ(world.captureCancelled, 1);
  EXPECT_TRUE(world.editors[0].flushed && world.editors[1].flushed);
  EXPECT_EQ(world.editors[0].asked + world.editors[1].asked, 0);

  World empty;
  QuitController none(empty.hooks());
  EXPECT_EQ(none.requestQuit(), Reply::now);
  EXPECT_EQ(empty.terminated, 1);
}

TEST(QuitController, EditorsWithWorkToLoseAreAskedOneAfterAnother) {
  World world;
  world.editors.resize(3);
  world.editors[0].needsDecision = world.editors[2].needsDecision = true;
  QuitController quit(world.hooks());
  ASSERT_EQ(quit.requestQuit(), Reply::later);
  // Only the first is asked, and it is brought forward for it.
  EXPECT_EQ(world.editors[0].asked, 1);
  EXPECT_TRUE(world.editors[0].fronted);
  EXPECT_EQ(world.editors[2].asked, 0);
  EXPECT_EQ(world.editors[1].asked, 0);

  // A second request while asking asks nobody again.
  world.editors[0].fronted = false;
  EXPECT_EQ(quit.requestQuit(), Reply::later);
  EXPECT_TRUE(world.editors[0].fronted);
  EXPECT_EQ(world.editors[0].asked, 1);

  world.editors[0].answer(true); // Discard
  EXPECT_EQ(world.editors[2].asked, 1);
  EXPECT_EQ(world.terminated, 0);
  world.editors[2].answer(true);
  EXPECT_EQ(world.terminated, 1);
  EXPECT_FALSE(quit.isAsking());
}

TEST(QuitController, CancelKeepsTheRunAndALaterQuitAsksAgain) {
  World world;
  world.editors.resize(2);
  world.editors[0].needsDecision = world.editors[1].needsDecision = true;
  QuitController quit(world.hooks());
  QSignalSpy answered(&quit, &QuitController::answered);
  // A session manager that allows no questions: saved what could be, asked nothing.
  EXPECT_EQ(quit.requestQuit(QuitController::From::desktop, [] { return false; }), Reply::cancel);
  EXPECT_TRUE(world.editors[0].flushed && world.editors[1].flushed);
  EXPECT_EQ(world.editors[0].asked, 0);
  quit.requestQuit(QuitController::From::desktop, [] { return true; });
  auto firstRound = world.editors[0].answer;
  firstRound(false); // Cancel
  EXPECT_EQ(world.editors[1].asked, 0);
  EXPECT_EQ(world.terminated, 0);
  EXPECT_FALSE(quit.isAsking());
  ASSERT_EQ(answered.size(), 1);
  EXPECT_EQ(answered.takeFirst().value(0), false);

  EXPECT_EQ(quit.requestQuit(), Reply::later);
  EXPECT_EQ(world.editors[0].asked, 2);
  // A late answer from the first round changes nothing.
  firstRound(true);
  EXPECT_EQ(world.editors[1].asked, 0);
  world.editors[0].answer(true);
  world.editors[1].answer(true);
  EXPECT_EQ(world.terminated, 1);
  ASSERT_EQ(answered.size(), 1);
  EXPECT_EQ(answered.takeFirst().value(0), true);
}

TEST(QuitController, AnUpdateWaitingToInstallDecidesFirst) {
  using From = QuitController::From;
  const struct {
    const char *name;
    bool pending, busy, sessionFails;
    Reply reply;
    int reported, saved;
    From from = From::user;
  } rows[]{
      {"busy: refused without a word", true, true, false, Reply::cancel, 0, 0},
      {"the session cannot be kept: said, and refused", true, false, true, Reply::cancel, 1, 0},
      {"the session is kept, then the quit goes on", true, false, false, Reply::now, 0, 1},
      {"no update: busy does not matter", false, true, true, Reply::now, 0, 0},
      // A signal or the session's end is never refused; the update waits.
      {"busy, from the desktop", true, true, false, Reply::now, 0, 0, From::desktop},
      {"the session cannot be kept, from the desktop", true, false, true, Reply::now, 1, 0, From::desktop},
  };
  for (const auto &row : rows) {
    World world;
    world.updatePending = row.pending;
    world.busy = row.busy;
    world.sessionFails = row.sessionFails;
    world.editors.resize(1);
    QuitController quit(world.hooks());
    EXPECT_EQ(quit.requestQuit(row.from), row.reply) << row.name;
    EXPECT_EQ(world.reported, row.reported) << row.name;
    EXPECT_EQ(world.sessionsSaved, row.saved) << row.name;
    EXPECT_EQ(world.terminated, row.reply == Reply::now ? 1 : 0) << row.name;
    // A refused quit touches no editor and no capture.
    EXPECT_EQ(world.editors[0].flushed, row.reply == Reply::now) << row.name;
    EXPECT_EQ(world.captureCancelled, row.reply == Reply::now ? 1 : 0) << row.name;
  }
}

TEST(QuitController, AnswersAfterTheControllerWentGoNowhere) {
  World world;
  world.editors.resize(1);
  world.editors[0].needsDecision = true;
  auto quit = std::make_unique<QuitController>(world.hooks());
  quit->requestQuit();
  quit.reset();
  world.editors[0].answer(true);
  EXPECT_EQ(world.terminated, 0);
}

// An editor opened, or changed, while the prompts are up is asked too before
// the run ends, and an update's session is written again to keep it.
TEST(QuitController, EditorsThatCameWhileAskingAreAskedToo) {
  const struct {
    const char *name;
    bool update, opened, needsDecision, mayGo, rewriteFails;
    int saved;
  } rows[]{
      {"opened, may go: the run ends after it", false, true, true, true, false, 0},
      {"opened, Cancel: the run goes on", false, true, true, false, false, 0},
      {"changed since the quit began", true, false, true, true, false, 1},
      {"opened during an update's quit: written again", true, true, false, true, false, 2},
      {"written again fails: said, and the quit cancelled", true, true, true, true, true, 1},
  };
  for (const auto &row : rows) {
    World world;
    world.updatePending = row.update;
    world.editors.resize(row.opened ? 1 : 2);
    world.editors[0].needsDecision = true;
    QuitController quit(world.hooks());
    ASSERT_EQ(quit.requestQuit(), Reply::later) << row.name;
    world.sessionFails = row.rewriteFails;
    FakeEditor &late = row.opened ? world.editors.emplace_back() : world.editors.back();
    late.needsDecision = row.needsDecision;
    world.editors[0].answer(true);
    EXPECT_EQ(late.asked, row.needsDecision ? 1 : 0) << row.name;
    if (late.asked) {
      EXPECT_EQ(world.terminated, 0) << row.name << ": waits for its answer";
      late.answer(row.mayGo);
    }
    EXPECT_EQ(world.terminated, row.mayGo && !row.rewriteFails ? 1 : 0) << row.name;
    EXPECT_EQ(world.sessionsSaved, row.saved) << row.name;
    EXPECT_EQ(world.reported, row.rewriteFails ? 1 : 0) << row.name;
  }
}

// An editor whose saving fails, with a dialog of its own up when the quit
// reaches it: its close question answers for the quit, another dialog is
// waited for. Either way it is asked once, and the next editor after it.
class QuitOverEditor : public test::EditorFixture {};

TEST_F(QuitOverEditor, AnEditorsOwnDialogIsWaitedForNotTakenAsCancel) {
  const struct {
    const char *name;
    bool closeQuestion;
    const char *answer;
    bool quits;
  } rows[]{
      {"its close question, Discard: it closes, the next is asked", true, "Discard", true},
      {"its close question, Cancel: the run goes on", true, "Cancel", false},
      {"an error alert: asked once it is gone", false, "Discard", true},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.name);
    auto b = makeEditor(EditorSize::compact);
    EXPECT_THROW(b->document().enableAutosave(test::unwritableFolder(saveFolder), "Shot"), std::exception);
    b->document().commit({test::makeMark(MarkTool::arrow)});
    b->present();
    const auto question = [&] { return b->window()->findChildren<QMessageBox *>("confirm-discard"); };
    if (row.closeQuestion)
      EXPECT_FALSE(b->window()->close());
    else
      b->showError("The disk is full.");
    World world;
    world.editors.resize(3);
    world.editors[0].needsDecision = world.editors[2].needsDecision = true;
    world.editors[1].real = b.get();
    QuitController quit(world.hooks());
    ASSERT_EQ(quit.requestQuit(), Reply::later);
    world.editors[0].answer(true);
    EXPECT_TRUE(quit.isAsking());
    EXPECT_EQ(question().size(), row.closeQuestion ? 1 : 0) << "never over another dialog";
    if (!row.closeQuestion)
      Sheets::attached(b->window())->accept();
    ASSERT_EQ(question().size(), 1);
    for (QAbstractButton *button : question().first()->buttons())
      if (button->text() == row.answer)
        button->click();
    EXPECT_EQ(world.editors[1].asked, 1);
    ASSERT_EQ(world.editors[2].asked, row.quits ? 1 : 0);
    if (row.quits)
      world.editors[2].answer(true);
    EXPECT_FALSE(quit.isAsking());
    EXPECT_EQ(world.terminated, row.quits ? 1 : 0);
    EXPECT_EQ(b->window()->isVisible(), !row.quits || !row.closeQuestion);
    EXPECT_EQ(b->document().marks().size(), 1);
  }
}
