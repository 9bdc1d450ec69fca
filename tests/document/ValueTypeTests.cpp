#include "document/AnnotationStyle.h"
#include "document/Ink.h"

#include "platform/desktop/BundledFonts.h"

#include <QFontInfo>

#include <gtest/gtest.h>

using namespace crel;

TEST(Ink, DisplayNamesAndCustomColours) {
  EXPECT_EQ((Ink{"Lemon", 1, 0.88, 0.05}).displayName(), "Lemon");
  EXPECT_EQ((Ink{"Tangerine", 1, 0.5, 0}).displayName(), "Tangerine");
  const Ink invalid = Ink::custom(QColor());
  EXPECT_EQ(invalid, (Ink{"Custom", 0, 0, 0}));
  const Ink fromHsv = Ink::custom(QColor::fromHsvF(0, 1, 1, 0.5));
  EXPECT_EQ(fromHsv.name, "Custom");
  EXPECT_DOUBLE_EQ(fromHsv.red, 1);
  EXPECT_DOUBLE_EQ(fromHsv.green, 0);
  const Ink extended = Ink::custom(QColor::fromRgbF(1.4f, -0.2f, 0.5f));
  EXPECT_EQ(extended.red, 1);
  EXPECT_EQ(extended.green, 0);
}

TEST(AnnotationStyle, DoodleFontFallsBackToTheFormalFont) {
  EXPECT_EQ(QFontInfo(font(AnnotationStyle::doodle, 20)).family(), "Comic Neue");
  BundledFonts::setDoodleFamilyForTesting("No Such Handwriting");
  const QFont doodle = font(AnnotationStyle::doodle, 20);
  const QFont formal = font(AnnotationStyle::formal, 20);
  BundledFonts::setDoodleFamilyForTesting("Comic Neue");
  EXPECT_EQ(doodle, formal);
  EXPECT_EQ(formal.pointSizeF(), 20);
  EXPECT_EQ(formal.weight(), QFont::Medium);
  EXPECT_GT(font(AnnotationStyle::formal, std::nan("")).pointSizeF(), 0); // stored sizes are not validated
}
