#include "document/RecognizedText.h"

#include "platform/clipboard/Pasteboard.h"

#include <gtest/gtest.h>

using namespace crel;

namespace {

RecognizedWord word(const char *text, double x, double y, double w, double h, int line, int order) {
  return {QString::fromLatin1(text), geom::Rect(x, y, w, h), line, order};
}

QStringList texts(const QList<RecognizedWord> &words) {
  QStringList out;
  for (const auto &w : words)
    out.push_back(w.text);
  return out;
}

QPointF centre(const RecognizedWord &w) { return w.rect.center(); }

// Three lines of a single column:
//   line 0: alpha beta gamma delta
//   line 1: echo foxtrot
//   line 2: golf hotel india
RecognizedText column() {
  return {{word("alpha", 0, 0, 40, 10, 0, 0), word("beta", 50, 0, 40, 10, 0, 1), word("gamma", 100, 0, 40, 10, 0, 2),
           word("delta", 150, 0, 40, 10, 0, 3), word("echo", 0, 30, 40, 10, 1, 0),
           word("foxtrot", 50, 30, 40, 10, 1, 1), word("golf", 0, 60, 40, 10, 2, 0),
           word("hotel", 50, 60, 40, 10, 2, 1), word("india", 100, 60, 40, 10, 2, 2)}};
}

} // namespace

TEST(RecognizedText, WordAtUsesHalfOpenGrownRectangles) {
  const RecognizedText text{{word("w", 10, 10, 20, 10, 0, 0)}};
  EXPECT_TRUE(text.wordAt({10, 10}, 0).has_value());
  EXPECT_FALSE(text.wordAt({30, 15}, 0).has_value()); // right edge
  EXPECT_FALSE(text.wordAt({15, 20}, 0).has_value()); // bottom edge
  EXPECT_TRUE(text.wordAt({6, 6}, 4).has_value());    // grown left/top edges are inside
  EXPECT_TRUE(text.wordAt({33.99, 15}, 4).has_value());
  EXPECT_FALSE(text.wordAt({34, 15}, 4).has_value());
  EXPECT_FALSE(RecognizedText::empty().wordAt({0, 0}, 100).has_value());
}

TEST(RecognizedText, WordAtPrefersTheNearestCentreThenTheEarlierWord) {
  const RecognizedWord a = word("a", 0, 0, 10, 10, 0, 0), b = word("b", 12, 0, 10, 10, 0, 1);
  const RecognizedText text{{a, b}};
  EXPECT_EQ(text.wordAt({11, 5}, 4), a); // equal distances: earlier
  EXPECT_EQ(text.wordAt({11.5, 5}, 4), b);
  const RecognizedText reversed{{b, a}};
  EXPECT_EQ(reversed.wordAt({11, 5}, 4), b);
}

TEST(RecognizedText, SelectionOnOneLineIsAnOrderRangeInEitherDirection) {
  const RecognizedText text = column();
  const auto forward = text.selection(centre(text.words[1]), centre(text.words[3]));
  const auto backward = text.selection(centre(text.words[3]), centre(text.words[1]));
  EXPECT_EQ(texts(forward), QStringList({"beta", "gamma", "delta"}));
  EXPECT_EQ(forward, backward);
  EXPECT_EQ(texts(text.selection(centre(text.words[2]), centre(text.words[2]))), QStringList({"gamma"}));
}

TEST(RecognizedText, SelectionNeedsAStartWordButFindsTheNearestEndWord) {
  const RecognizedText text = column();
  EXPECT_TRUE(text.selection({300, 200}, centre(text.words[0])).isEmpty());
  EXPECT_TRUE(text.selection({-4.01, 5}, centre(text.words[0])).isEmpty()); // just beyond tolerance 4
  EXPECT_FALSE(text.selection({-4, 5}, centre(text.words[0])).isEmpty());

  // A line away costs three times as much as the same distance sideways:
  // the end point (130, 40) is 30 right of and 30 below "far" (plain distance
  // 42) but level with and 90 right of "level"; "level" wins.
  const RecognizedText sparse{{word("start", 10, 5, 20, 10, 0, 0), word("far", 90, 5, 20, 10, 0, 1),
                               word("level", 30, 35, 20, 10, 1, 0), word("after", 300, 35, 20, 10, 1, 1)}};
  EXPECT_EQ(texts(sparse.selection({20, 10}, {130, 40})), QStringList({"start", "far", "level"}));
  // Within 12 of a word the end is that word.
  EXPECT_EQ(texts(sparse.selection({20, 10}, {331, 40})), QStringList({"start", "far", "level", "after"}));
}

TEST(RecognizedText, MultilineSelectionStaysInTheColumnTheEndLinesShare) {
  // Left column lines 0, 2, 4 at x 0-200; right column lines 1, 3, 5 at x
  // 300-500, each a little lower than its left neighbour.
  RecognizedText text;
  for (int row = 0; row < 3; ++row) {
    const double y = row * 30;
    text.words.push_back(word("left", 0, y, 90, 10, row * 2, 0));
    text.words.push_back(word("leftEnd", 110, y, 90, 10, row * 2, 1));
    text.words.push_back(word("right", 300, y + 1, 90, 10, row * 2 + 1, 0));
    text.words.push_back(word("rightEnd", 410, y + 1, 90, 10, row * 2 + 1, 1));
  }
  const auto down = text.selection(centre(text.words[0]), centre(text.words[9]));
  EXPECT_EQ(texts(down), QStringList({"left", "leftEnd", "left", "leftEnd", "left", "leftEnd"}));
  for (const auto &w : down)
    EXPECT_EQ(w.line % 2, 0);

  // End lines that share no horizontal span choose no middle words.
  const auto across = text.selection(centre(text.words[0]), centre(text.words[10]));
  EXPECT_EQ(texts(across), QStringList({"left", "leftEnd", "right"}));
}

TEST(RecognizedText, RectanglesAreOneGrownUnionPerLineInLineOrder) {
  const RecognizedText text = column();
  EXPECT_TRUE(RecognizedText::rectangles({}).isEmpty());
  EXPECT_EQ(RecognizedText::rectangles({text.words[0], text.words[1], text.words[2]}),
            QList<geom::Rect>({geom::Rect(-2, -2, 144, 14)}));
  EXPECT_EQ(RecognizedText::rectangles({text.words[5], text.words[0]}),
            QList<geom::Rect>({geom::Rect(-2, -2, 44, 14), geom::Rect(48, 28, 44, 14)}));
}

TEST(RecognizedText, HiddenAreasRemoveTheWordsTheyIntersect) {
  const RecognizedText text = column();
  // The first box only touches alpha's right and beta's left edge; the second overlaps golf.
  const RecognizedText visible = text.excludingAreas({geom::Rect(40, 0, 10, 5), geom::Rect(0, 65, 45, 10)});
  EXPECT_EQ(texts(visible.words),
            QStringList({"alpha", "beta", "gamma", "delta", "echo", "foxtrot", "hotel", "india"}));
  EXPECT_EQ(text.excludingAreas({geom::Rect(40, 0, 10.5, 5)}).words.size(), 8);
  EXPECT_EQ(text.excludingAreas({}), text);
}

TEST(RecognizedText, CopyWritesOnlySelectedWordsThatAreStillAvailable) {
  const RecognizedText all = column();
  const RecognizedText visible = all.excludingAreas({all.words[0].rect});
  FakePasteboard board;
  EXPECT_FALSE(visible.copy({}, board));
  EXPECT_FALSE(visible.copy({all.words[0]}, board));
  EXPECT_EQ(board.clearCount, 0);
  EXPECT_FALSE(board.text.has_value());

  const QList<RecognizedWord> selected = all.selection(centre(all.words[0]), centre(all.words[4]));
  ASSERT_EQ(texts(selected), QStringList({"alpha", "beta", "gamma", "delta", "echo"}));
  EXPECT_TRUE(visible.copy(selected, board));
  EXPECT_EQ(board.clearCount, 1);
  EXPECT_EQ(board.text, QString("beta gamma delta\necho"));
  EXPECT_EQ(RecognizedText::copiedStatus(), "Copied selected text.");

  FakePasteboard refusing;
  refusing.failWrites = true;
  EXPECT_FALSE(visible.copy(selected, refusing));
  EXPECT_FALSE(refusing.text.has_value());
}
