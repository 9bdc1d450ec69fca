#include "selfcheck/TextRecognitionFixture.h"

#include "document/TextRecognition.h"
#include "platform/text/TesseractTextRecognizer.h"

#include <gtest/gtest.h>

using namespace crel;

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
