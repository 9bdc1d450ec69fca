#include "acceptance/CanvasReadiness.h"

#include <gtest/gtest.h>

#include <vector>

namespace crel::acceptance {
namespace {

ReadinessFacts ready(QRect frame = {100, 80, 800, 460}) {
  ReadinessFacts facts;
  facts.frame = frame;
  facts.serverBounds = frame;
  facts.active = facts.frontmost = facts.exposed = true;
  facts.contentWidth = frame.width();
  facts.canvas = QSize(frame.width(), 300);
  return facts;
}

template <typename Change> ReadinessFacts with(Change change) {
  ReadinessFacts facts = ready();
  change(facts);
  return facts;
}

std::vector<bool> run(const std::vector<ReadinessFacts> &evaluations) {
  ReadinessTracker tracker;
  std::vector<bool> results;
  for (const ReadinessFacts &facts : evaluations)
    results.push_back(tracker.evaluate(facts));
  return results;
}

// Ready needs two placed evaluations at the same frame, and a stable window
// is not ready until every condition holds.
TEST(CanvasReadiness, NeedsTwoPlacedEvaluationsAtTheSameFrameAndEveryCondition) {
  const ReadinessFacts moved = ready({104, 80, 800, 460});
  const ReadinessFacts offByOne = with([](ReadinessFacts &f) { f.serverBounds = f.frame.adjusted(0, 0, 1, 0); });
  const ReadinessFacts unknown = with([](ReadinessFacts &f) { f.serverBounds.reset(); });
  ReadinessFacts narrowest = ready({0, 0, 720, 200});
  narrowest.canvas = QSize(720, 200);
  const auto never = [](ReadinessFacts f) { return std::vector<ReadinessFacts>{f, f, f}; };
  const std::vector<bool> no{false, false, false};
  const struct {
    const char *name;
    std::vector<ReadinessFacts> evaluations;
    std::vector<bool> expected;
  } cases[] = {
      {"ready window", {ready(), ready()}, {false, true}},
      {"still animating", {ready(), moved, ready(), ready()}, {false, false, false, true}},
      {"server one point off", {offByOne, offByOne, ready(), ready()}, {false, false, false, true}},
      {"server unknown keeps the frame", {ready(), unknown, ready()}, {false, false, true}},
      {"narrowest that fits", {narrowest, narrowest}, {false, true}},
      {"another application frontmost", never(with([](ReadinessFacts &f) { f.frontmost = false; })), no},
      {"not active", never(with([](ReadinessFacts &f) { f.active = false; })), no},
      {"occluded", never(with([](ReadinessFacts &f) { f.exposed = false; })), no},
      {"no canvas", never(with([](ReadinessFacts &f) { f.canvas.reset(); })), no},
      {"canvas narrower than the content", never(with([](ReadinessFacts &f) { f.canvas->rwidth() -= 1; })), no},
      {"canvas lower than 200", never(with([](ReadinessFacts &f) { f.canvas->setHeight(199); })), no},
      {"content narrower than 720", never(with([](ReadinessFacts &f) {
         f.contentWidth = 719;
         f.canvas->setWidth(719);
       })),
       no},
  };
  for (const auto &c : cases)
    EXPECT_EQ(run(c.evaluations), c.expected) << c.name;
}

} // namespace
} // namespace crel::acceptance
