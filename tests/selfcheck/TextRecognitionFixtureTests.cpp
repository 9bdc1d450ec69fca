#include "selfcheck/TextRecognitionFixture.h"

#include "document/TextRecognition.h"
#include "platform/TesseractTextRecognizer.h"

#include <gtest/gtest.h>

using namespace crel;

TEST(TextRecognitionFixture, DrawsTheSamePageEveryTime) {
  const QImage page = TextRecognitionFixture::page();
  ASSERT_EQ(page.size(), QSize(1100, 580));
  EXPECT_EQ(page, TextRecognitionFixture::page());
  EXPECT_EQ(page.pixel(50, 412), TextRecognitionFixture::darkBandColor());
  EXPECT_EQ(page.pixel(10, 10), qRgb(255, 255, 255));
  EXPECT_EQ(qAlpha(page.pixel(50, 412)), 255);
  // Nothing to the right of the lines and above the band.
  for (int y = 0; y < 400; ++y)
    for (int x = 700; x < 1100; ++x)
      ASSERT_EQ(page.pixel(x, y), qRgb(255, 255, 255)) << x << "," << y;
}

TEST(TextRecognitionFixture, RealRecognitionFindsEveryWordOnLightAndDark) {
  TesseractTextRecognizer recognizer;
  const RecognizedText text = TextRecognition::recognize(recognizer, TextRecognitionFixture::page());
  QStringList found;
  for (const auto &word : text.words)
    found.push_back(word.text);
  EXPECT_EQ(found.join(QLatin1Char(' ')).toStdString(),
            TextRecognitionFixture::lines().join(QLatin1Char(' ')).toStdString());
  ASSERT_EQ(text.words.size(), 17);

  const QRect band = TextRecognitionFixture::darkBand();
  const int darkLine = text.words[13].line;
  EXPECT_EQ(text.words[13].text, "Readable");
  for (int i = 13; i < 17; ++i) {
    EXPECT_EQ(text.words[i].line, darkLine);
    EXPECT_TRUE(geom::Rect::fromQRectF(QRectF(band)).contains(text.words[i].rect));
  }

  const RecognizedWord &review = text.words[0], &lines = text.words[7];
  ASSERT_EQ(lines.text, "lines");
  EXPECT_NE(review.line, lines.line);
  const auto selection = text.selection(review.rect.center(), lines.rect.center());
  EXPECT_EQ(RecognizedText::rectangles(selection).size(), 2);
  EXPECT_EQ(RecognizedText::string(selection), "Review the release notes\nHighlight words across lines");
  EXPECT_TRUE(text.selection({1090, 10}, lines.rect.center()).isEmpty());
}

TEST(TextRecognitionFixture, AnInvertedPageReadsTheSame) {
  // A dark-theme page with one light band: the polarity of every area flips.
  QImage page = TextRecognitionFixture::page();
  page.invertPixels();
  TesseractTextRecognizer recognizer;
  QStringList found;
  for (const auto &word : TextRecognition::recognize(recognizer, page).words)
    found.push_back(word.text);
  EXPECT_EQ(found.join(QLatin1Char(' ')).toStdString(),
            TextRecognitionFixture::lines().join(QLatin1Char(' ')).toStdString());
}
