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

} // namespace

// The permission checks end with their own text and print nothing: stills
// that arrive make the coordinator ask for a panel (the factory must not
// throw through it), another capture error is not the declined permission,
// and stills that never come end the wait.
TEST(CaptureChecks, EachWrongOutcomeEndsTheRunWithItsOwnText) {
  const std::pair<CaptureCoordinator::Snapshots, const char *> cases[] = {
      {answering({{1, geom::Rect(0, 0, 40, 30), QImage(40, 30, QImage::Format_RGB32)}}),
       "Permission failure must not create an overlay"},
      {answering({}, std::make_exception_ptr(CrelError::capture(QStringLiteral("Display gone.")))),
       "X server denial returns through the existing permission flow"},
      {[](QObject *, CaptureSnapshot::Completion) { return SnapshotRequest(); },
       "X server denial returns through the existing permission flow"},
  };
  for (const auto &[snapshots, text] : cases) {
    std::ostringstream out;
    const NativeTests::CheckReporter reporter(out);
    try {
      CaptureTests::permissionChecks(snapshots);
      ADD_FAILURE() << "passed: " << text;
    } catch (const NativeTests::Failure &failure) {
      EXPECT_STREQ(failure.what(), text);
    }
    EXPECT_EQ(out.str(), "");
  }
}
