#include "editor/BalancedBar.h"

#include <gtest/gtest.h>

#include <vector>

using namespace crel;

namespace {

// A group that takes the first of its widths (widest first) that fits the
// proposal, the last when none does; it remembers what it was offered.
class Group : public ProposalSized {
public:
  Group(std::initializer_list<double> widths, double height = 36) : widths_(widths), height_(height) {}
  QSizeF sizeFor(std::optional<double> width, std::optional<double>) const override {
    proposals.push_back(width);
    for (double w : widths_)
      if (!width || w <= *width)
        return {w, height_};
    return {widths_.back(), height_};
  }
  mutable std::vector<std::optional<double>> proposals;

private:
  std::vector<double> widths_;
  double height_;
};

constexpr double s = BalancedBar::editorSpacing;

struct Row {
  const char *name;
  double width;
  std::initializer_list<double> leading, centre, trailing;
  double centreX; // expected left edge of the centre group
  double centreWidth, trailingWidth;
};

TEST(BalancedBar, PlacesTheCentreGroupInTheMiddleUnlessASideGroupIsTooClose) {
  // Rows start at x = 12, as the editor's do.
  const Row rows[] = {
      {"room on both sides: exactly centred", 1000, {80}, {300}, {200}, 12 + 500 - 150, 300, 200},
      {"a narrow and a wide side: still centred", 1000, {40}, {300}, {330}, 12 + 500 - 150, 300, 330},
      {"wide leading pushes right to 10 after it", 1000, {400}, {300}, {50}, 12 + 400 + s, 300, 50},
      {"wide trailing pushes left to 10 before it", 1000, {50}, {300}, {400}, 12 + 1000 - 400 - s - 300, 300, 400},
      {"too narrow: centre offered 0, placed 10 after leading; trailing keeps its narrowest width at the right",
       300,
       {200},
       {250, 120},
       {236, 150},
       12 + 200 + s,
       120,
       150},
      {"empty side groups take no gap", 1000, {0}, {1000}, {0}, 12, 1000, 0},
      {"the centre takes its widest form that fits; near the trailing group it keeps 10 from it",
       900,
       {80},
       {420, 300},
       {236, 150},
       12 + 900 - 236 - s - 420,
       420,
       236},
      {"the trailing group widens into what the centre leaves",
       1200,
       {80},
       {420, 300},
       {236, 150},
       12 + 600 - 210,
       420,
       236},
      {"both adaptive groups fall back to their compact forms", 600, {80}, {420, 300}, {236, 150}, 152, 300, 150},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(row.name);
    Group leading(row.leading), centre(row.centre), trailing(row.trailing);
    const QRectF bounds(12, 2, row.width, 44);
    const QList<QRectF> r = BalancedBar::place(bounds, {&leading, &centre, &trailing}, s);
    ASSERT_EQ(r.size(), 3);
    EXPECT_EQ(r[0].left(), 12);
    EXPECT_DOUBLE_EQ(r[1].left(), row.centreX);
    EXPECT_EQ(r[1].width(), row.centreWidth);
    EXPECT_EQ(r[2].width(), row.trailingWidth);
    EXPECT_DOUBLE_EQ(r[2].right(), bounds.right());
    for (const QRectF &g : r)
      EXPECT_DOUBLE_EQ(g.center().y(), bounds.center().y());
  }
}

TEST(BalancedBar, ANarrowRowOffersTheCentreNothingAndTheTrailingGroupItsNarrowestWidth) {
  Group leading({200}), centre({250, 120}), trailing({236, 150});
  BalancedBar::plan(300, 44, {&leading, &centre, &trailing}, s);
  ASSERT_FALSE(centre.proposals.empty());
  EXPECT_EQ(centre.proposals.back(), 0.0);
  // Offered 0 first (its narrowest), then max(narrowest, what is left).
  ASSERT_EQ(trailing.proposals.size(), 2u);
  EXPECT_EQ(trailing.proposals[0], 0.0);
  EXPECT_EQ(trailing.proposals[1], 150.0);
  EXPECT_EQ(leading.proposals, std::vector<std::optional<double>>{std::nullopt});
}

TEST(BalancedBar, OtherNumbersOfChildrenGoLeftToRightAtTheirIdealSizes) {
  Group a({100, 50}), b({60}), c({30}), d({20});
  const QRectF bounds(12, 2, 120, 44); // narrower than their sum: never compressed
  const std::vector<std::pair<QList<const ProposalSized *>, std::vector<double>>> cases{
      {{&a, &b}, {12, 12 + 100 + s}},
      {{&a, &b, &c, &d}, {12, 122, 192, 232}},
      {{&a}, {12}},
  };
  for (const auto &[children, lefts] : cases) {
    const QList<QRectF> r = BalancedBar::place(bounds, children, s);
    ASSERT_EQ(size_t(r.size()), lefts.size());
    for (size_t i = 0; i < lefts.size(); ++i)
      EXPECT_EQ(r[qsizetype(i)].left(), lefts[i]) << children.size() << " children, child " << i;
    EXPECT_EQ(r[0].width(), 100);
  }
}

} // namespace
