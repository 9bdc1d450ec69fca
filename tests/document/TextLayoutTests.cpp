#include "document/AnnotationStyle.h"
#include "document/TextLayout.h"
#include "support/TestSupport.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

using namespace crel;

namespace {

QRect inkBox(const QImage &image) {
  return test::inkBounds(image, [](QRgb p) { return qAlpha(p) != 0; });
}

QImage drawn(const TextLayout &layout, int dotsPerMeter) {
  QImage image(400, 200, QImage::Format_ARGB32_Premultiplied);
  image.setDotsPerMeterX(dotsPerMeter);
  image.setDotsPerMeterY(dotsPerMeter);
  image.fill(Qt::transparent);
  QPainter p(&image);
  layout.draw(p, {10, 10}, Qt::black);
  return image;
}

} // namespace

TEST(TextLayout, LinesWrapInTheBoxAndStackByTheirMetrics) {
  const QFont f = font(AnnotationStyle::formal, 30);
  const TextLayout one("Hello", f, 300);
  EXPECT_EQ(one.lineCount(), 1);
  const double lineHeight = one.size().height();
  EXPECT_GT(lineHeight, 30);
  EXPECT_LT(lineHeight, 1.3 * 30);

  const TextLayout wrapped("Hello there wide world", f, 120);
  EXPECT_GE(wrapped.lineCount(), 3);
  EXPECT_LE(wrapped.size().width(), 120);
  EXPECT_DOUBLE_EQ(wrapped.size().height(), wrapped.lineCount() * lineHeight);

  // A word wider than the box breaks anywhere rather than overflowing.
  const TextLayout word("Supercalifragilistic", f, 100);
  EXPECT_GT(word.lineCount(), 1);
  EXPECT_LE(word.size().width(), 100);

  const TextLayout unlimited("Hello there wide world", f);
  EXPECT_EQ(unlimited.lineCount(), 1);
  EXPECT_GT(unlimited.size().width(), 120);

  // Explicit breaks, including a trailing one, each start a line.
  EXPECT_EQ(TextLayout("a\nb", f, 300).lineCount(), 2);
  EXPECT_EQ(TextLayout("a\n", f, 300).lineCount(), 2);
  const TextLayout empty("", f, 300);
  EXPECT_EQ(empty.lineCount(), 1);
  EXPECT_DOUBLE_EQ(empty.size().height(), lineHeight);
  EXPECT_EQ(empty.size().width(), 0);
}

TEST(TextLayout, SizesAreImagePixelsWhateverThePaintDevice) {
  const QFont f = font(AnnotationStyle::formal, 40);
  const TextLayout layout("Mark", f, 300);
  const QRect at72 = inkBox(drawn(layout, 2835));
  const QRect at96 = inkBox(drawn(layout, 3780));
  const QRect at192 = inkBox(drawn(layout, 7560));
  EXPECT_EQ(at72, at96);
  EXPECT_EQ(at72, at192);
  // Capital letters of a 40 px font are roughly 29 px tall.
  EXPECT_NEAR(at72.height(), 29, 3);
  EXPECT_LE(at72.right(), 10 + layout.size().width() + 1);

  // Design metrics without hinting scale linearly with the font size.
  const TextLayout small("Annotation text", font(AnnotationStyle::formal, 10));
  const TextLayout large("Annotation text", font(AnnotationStyle::formal, 100));
  EXPECT_NEAR(large.size().width() / small.size().width(), 10, 0.05);
}

TEST(TextLayout, CursorPositionsForAnEditor) {
  const QFont f = font(AnnotationStyle::doodle, 24);
  const TextLayout layout("ab\ncd", f, 300);
  const QRect start = layout.cursorRect(0).toRect();
  EXPECT_EQ(start.x(), 0);
  EXPECT_EQ(layout.cursorRect(3).y(), layout.size().height() / 2); // first character of the second line
  EXPECT_GT(layout.cursorRect(2).x(), 0);
  EXPECT_EQ(layout.cursorRect(99), layout.cursorRect(5)); // clamped to the end
  EXPECT_EQ(layout.positionAt({0, 1}), 0);
  EXPECT_EQ(layout.positionAt({1000, layout.size().height() - 1}), 5);
  EXPECT_EQ(layout.positionAt(layout.cursorRect(4).center()), 4);
}
