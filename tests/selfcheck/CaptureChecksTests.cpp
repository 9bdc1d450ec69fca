#include "selfcheck/CaptureTests.h"
#include "selfcheck/CheckReporter.h"
#include "selfcheck/Failure.h"

#include "document/CrelError.h"

#include <QImage>
#include <QTimer>

#include <gtest/gtest.h>

#include <sstream>

using namespace crel;

namespace {

// Answers every request on the event loop with `snapshots` or `error`.
CaptureCoordinator::Snapshots answering(std::vector<CaptureSnapshot> snapshots, std::exception_ptr error = nullptr) {
  return [snapshots, error](QObject *receiver, CaptureSnapshot::Completion done) {
    QTimer::singleShot(0, receiver, [done = std::move(done), snapshots, error] { done(snapshots, error); });
    return SnapshotRequest();
  };
}

// The text the permission checks end with, and what they printed before.
std::pair<std::string, std::string> permissionOutcome(CaptureCoordinator::Snapshots snapshots) {
  std::ostringstream out;
  const NativeTests::CheckReporter reporter(out);
  try {
    CaptureTests::permissionChecks(std::move(snapshots));
  } catch (const NativeTests::Failure &failure) {
    return {failure.what(), out.str()};
  }
  return {"", out.str()};
}

} // namespace

TEST(CaptureChecks, AnOverlayMadeDespiteStillsEndsTheRunWithTheFactorysTextAfterwards) {
  // Stills that arrive make the coordinator ask for a panel; the factory
  // must not throw through it, and the run still ends with its text.
  const auto [failure, printed] =
      permissionOutcome(answering({{1, geom::Rect(0, 0, 40, 30), QImage(40, 30, QImage::Format_RGB32)}}));
  EXPECT_EQ(failure, "Permission failure must not create an overlay");
  EXPECT_EQ(printed, "");
}

TEST(CaptureChecks, AnyOtherCaptureErrorIsNotTakenForTheDeclinedPermission) {
  const auto [failure, printed] =
      permissionOutcome(answering({}, std::make_exception_ptr(CrelError::capture(QStringLiteral("Display gone.")))));
  EXPECT_EQ(failure, "X server denial returns through the existing permission flow");
  EXPECT_EQ(printed, "");
}

TEST(CaptureChecks, StillsThatNeverComeEndTheWaitWithItsMessage) {
  const std::string failure =
      permissionOutcome([](QObject *, CaptureSnapshot::Completion) { return SnapshotRequest(); }).first;
  EXPECT_EQ(failure, "X server denial returns through the existing permission flow");
}
