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

// The real pump hands the thread back to the event loop between evaluations.
TEST(AcceptanceWait, ThePumpDeliversEvents) {
  bool delivered = false;
  QTimer::singleShot(0, [&] { delivered = true; });
  wait(QStringLiteral("Posted work did not run"), [&] { return delivered; });
  EXPECT_TRUE(delivered);
}

} // namespace
} // namespace crel::acceptance
