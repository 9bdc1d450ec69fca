#include "MarkSamples.h"

#include "document/BlurCache.h"

#include <gtest/gtest.h>

using namespace crel;

namespace {

// Fixed identities, so equal marks give equal keys.
Mark blurMark(double x) {
  Mark m = test::makeMark(MarkTool::blur, {x, 10}, {x + 100, 60});
  m.id = QUuid("{6E1F3C1A-6A9A-4C57-9C1E-2D7F0B9B8E11}");
  m.blurStrength = 16;
  return m;
}

Mark arrowMark(double x) {
  Mark m = blurMark(x);
  m.id = QUuid("{0F8FAD5B-D9CB-469F-A165-70867728950E}");
  m.tool = MarkTool::arrow;
  m.blurStrength.reset();
  return m;
}

BlurCache::Patch patch(int w, int h) {
  BlurCache::Patch p{QImage(w, h, QImage::Format_ARGB32_Premultiplied), QRect(0, 0, w, h)};
  p.image.fill(Qt::gray);
  return p;
}

QUuid id(int n) { return QUuid(n, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0); }

} // namespace

TEST(BlurCache, KeyCoversTheMarkAndEverythingBeneathInOrder) {
  const auto key = BlurCache::key(blurMark(0), {arrowMark(0), arrowMark(5)});
  ASSERT_TRUE(key);
  EXPECT_EQ(BlurCache::key(blurMark(0), {arrowMark(0), arrowMark(5)}), key);
  EXPECT_NE(BlurCache::key(blurMark(0), {arrowMark(5), arrowMark(0)}), key); // order
  EXPECT_NE(BlurCache::key(blurMark(0), {arrowMark(0), arrowMark(6)}), key); // a lower mark moved
  EXPECT_NE(BlurCache::key(blurMark(1), {arrowMark(0), arrowMark(5)}), key); // the blur moved
  EXPECT_NE(BlurCache::key(blurMark(0), {}), BlurCache::key(blurMark(0), {blurMark(0)}));
  Mark broken = arrowMark(0);
  broken.width = NAN;
  EXPECT_FALSE(BlurCache::key(blurMark(0), {broken}));
}

TEST(BlurCache, HitsAndMissesAreCounted) {
  BlurCache cache;
  EXPECT_FALSE(cache.find("a", id(1)));
  cache.insert("a", id(1), patch(4, 4));
  const auto hit = cache.find("a", id(1));
  ASSERT_TRUE(hit);
  EXPECT_EQ(hit->rect, QRect(0, 0, 4, 4));
  EXPECT_EQ(cache.hits(), 1);
  EXPECT_EQ(cache.misses(), 1);
  EXPECT_EQ(cache.totalCost(), 64);
  cache.insert("a", id(1), patch(2, 2)); // replacing keeps one entry
  EXPECT_EQ(cache.count(), 1);
  EXPECT_EQ(cache.totalCost(), 16);
}

TEST(BlurCache, LeastRecentlyUsedGoesFirstAndEachMarksLatestPatchLast) {
  BlurCache cache(3, 1'000'000);
  for (const char *key : {"a1", "a2", "a3", "a4"}) // one mark, four versions
    cache.insert(key, id(1), patch(2, 2));
  EXPECT_EQ(cache.count(), 3);
  EXPECT_FALSE(cache.contains("a1"));
  ASSERT_TRUE(cache.find("a2", id(1))); // now a2 is recent and the one kept
  cache.insert("b1", id(2), patch(2, 2));
  EXPECT_FALSE(cache.contains("a3"));
  EXPECT_TRUE(cache.contains("a2"));
  EXPECT_TRUE(cache.contains("a4"));
  EXPECT_TRUE(cache.contains("b1"));

  // More marks than the limit: the older ones' patches go too, latest first kept.
  cache.insert("c1", id(3), patch(2, 2));
  EXPECT_FALSE(cache.contains("a4"));
  cache.insert("d1", id(4), patch(2, 2));
  EXPECT_EQ(cache.count(), 3);
  EXPECT_FALSE(cache.contains("a2"));
  EXPECT_EQ(cache.keptCount(), 3); // the evicted mark is no longer kept
  cache.keepOnlyMarks({id(4)});    // the others were deleted
  EXPECT_EQ(cache.keptCount(), 1);
  cache.insert("e1", id(5), patch(2, 2));
  EXPECT_FALSE(cache.contains("b1")); // no longer kept: goes first
  EXPECT_TRUE(cache.contains("d1"));
}

TEST(BlurCache, TheCostLimitHoldsForEveryPatch) {
  BlurCache cache(32, 1000);
  cache.insert("small", id(2), patch(5, 5));
  cache.insert("big", id(1), patch(20, 20)); // 1,600 bytes: drawn once, filtered again next time
  EXPECT_FALSE(cache.contains("big"));
  EXPECT_FALSE(cache.find("big", id(1)));
  EXPECT_TRUE(cache.contains("small"));
  for (int n = 3; n < 8; ++n) // five marks' latest patches, 300 bytes each
    cache.insert("mark" + QByteArray::number(n), id(n), patch(5, 15));
  EXPECT_LE(cache.totalCost(), 1000);
  EXPECT_EQ(cache.count(), 3); // the three most recent
  EXPECT_TRUE(cache.contains("mark7"));
  // Within the limit, older patches of a mark stay for undo.
  BlurCache roomy;
  roomy.insert("v1", id(1), patch(8, 8));
  roomy.insert("v2", id(1), patch(8, 8));
  EXPECT_TRUE(roomy.find("v1", id(1)));
}
