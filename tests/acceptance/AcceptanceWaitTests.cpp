#include "acceptance/AcceptanceWait.h"
#include "selfcheck/Failure.h"

#include <QCoreApplication>
#include <QTimer>

#include <gtest/gtest.h>

namespace crel::acceptance {
namespace {

struct Counts {
  int evaluations = 0;
  std::vector<int> sleeps;
};

Sleep recordingSleep(Counts &counts) {
  return [&counts](int milliseconds) { counts.sleeps.push_back(milliseconds); };
}

TEST(AcceptanceWait, PassesOnTheFirstTrueEvaluationWithinOneHundred) {
  for (const int trueAt : {1, 2, 100}) {
    Counts counts;
    wait(
        QStringLiteral("unused"), [&] { return ++counts.evaluations == trueAt; }, recordingSleep(counts));
    EXPECT_EQ(counts.evaluations, trueAt);
    EXPECT_EQ(counts.sleeps, std::vector<int>(trueAt - 1, 100)) << "no sleep after the passing evaluation";
  }
}

TEST(AcceptanceWait, FailsWithTheMessageAloneAfterOneHundredEvaluationsAndSleeps) {
  for (const QString &message :
       {QStringLiteral("Capture did not open an editor"), QStringLiteral("Click did not select Doodle")}) {
    Counts counts;
    try {
      wait(
          message, [&] { return ++counts.evaluations > 100; }, recordingSleep(counts));
      FAIL() << "a condition true only on the 101st evaluation passed";
    } catch (const NativeTests::Failure &failure) {
      EXPECT_EQ(failure.description(), message);
    }
    EXPECT_EQ(counts.evaluations, 100);
    EXPECT_EQ(counts.sleeps.size(), 100U);
  }
}

TEST(AcceptanceWait, ASleepErrorPassesThroughUnchanged) {
  int evaluations = 0;
  const Sleep cancelled = [](int) { throw Cancelled(); };
  EXPECT_THROW(wait(
                   QStringLiteral("message"), [&] { return ++evaluations > 5; }, cancelled),
               Cancelled);
  EXPECT_EQ(evaluations, 1);
}

// The real pump hands the thread back to the event loop between
// evaluations, and a cancelled run ends the wait rather than failing it.
TEST(AcceptanceWait, ThePumpDeliversEventsAndEndsOnCancel) {
  EventPump::reset();
  bool delivered = false;
  QTimer::singleShot(0, [&] { delivered = true; });
  wait(QStringLiteral("Posted work did not run"), [&] { return delivered; });
  EXPECT_TRUE(delivered);

  int evaluations = 0;
  QTimer::singleShot(250, [] { EventPump::cancel(); });
  EXPECT_THROW(wait(QStringLiteral("never"), [&] { return ++evaluations < 0; }), Cancelled);
  EXPECT_GE(evaluations, 2);
  EXPECT_LE(evaluations, 10);
  EXPECT_THROW(EventPump::sleep(1), Cancelled) << "a cancelled run stays cancelled";
  EventPump::reset();
}

} // namespace
} // namespace crel::acceptance
