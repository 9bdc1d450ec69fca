#include "platform/desktop/AppTheme.h"
#include "support/TestSupport.h"

#include <QFile>
#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

using namespace crel;

namespace {

TEST(AppTheme, WashIsTheAccentOrNeutralBlendedTowardPrimary) {
  const auto withAccent = AppTheme::paletteFromBrand(
      R"({"primaryColor":"#2F6BFF","neutralColor":"#1c1f26","accentColor":"#FF7A45","other":1})");
  ASSERT_TRUE(withAccent);
  EXPECT_EQ(withAccent->wash, QColor(0xFF, 0x7A, 0x45));
  EXPECT_EQ(withAccent->neutral, QColor(0x1C, 0x1F, 0x26));

  for (const char *json : {R"({"primaryColor":"#FF0000","neutralColor":"#000000"})",
                           R"({"primaryColor":"#FF0000","neutralColor":"#000000","accentColor":null})"}) {
    const auto palette = AppTheme::paletteFromBrand(json);
    ASSERT_TRUE(palette);
    EXPECT_NEAR(palette->wash.redF(), 0.16, 1e-4);
    EXPECT_EQ(palette->wash.greenF(), 0);
    // Stage: 0.035 toward primary, then 0.025 toward black.
    EXPECT_NEAR(palette->stage.redF(), 0.035 * 0.975, 1e-4);
  }
}

TEST(AppTheme, MalformedBrandIsRejected) {
  for (const char *json :
       {R"({"primaryColor":"#FF0000"})", R"({"primaryColor":"#FF000","neutralColor":"#000000"})",
        R"({"primaryColor":"#FF00000","neutralColor":"#000000"})",
        R"({"primaryColor":"FF00000","neutralColor":"#000000"})",
        R"({"primaryColor":"#FF00G0","neutralColor":"#000000"})", R"({"primaryColor":1,"neutralColor":"#000000"})",
        R"({"primaryColor":"#FF0000","neutralColor":"#000000","accentColor":"#12"})",
        R"({"primaryColor":"#+12345","neutralColor":"#000000"})",
        R"({"primaryColor":"#-12345","neutralColor":"#000000"})",
        R"({"primaryColor":"# 12345","neutralColor":"#000000"})",
        R"({"primaryColor":"#0x1234","neutralColor":"#000000"})",
        R"({"primaryColor":"#FF0000","neutralColor":"#000000","accentColor":7})", "[]", "{"})
    EXPECT_FALSE(AppTheme::paletteFromBrand(json)) << json;
}

TEST(AppTheme, HexCaseDoesNotMatterAndTheShippedBrandIsValid) {
  EXPECT_EQ(AppTheme::parseHex("#2f6bff"), AppTheme::parseHex("#2F6BFF"));
  const QByteArray shipped = test::contents(CREL_SOURCE_DIR "/resources/brand.json");
  ASSERT_FALSE(shipped.isEmpty());
  const auto palette = AppTheme::paletteFromBrand(shipped);
  ASSERT_TRUE(palette);
  EXPECT_EQ(palette->primary, AppTheme::primary());
  EXPECT_EQ(palette->stage, AppTheme::stage());
}

QImage stage(QSize size, bool flipped) {
  QImage image = test::filledImage(size, Qt::transparent);
  QPainter painter(&image);
  AppTheme::drawStage(painter, QRectF(QPointF(0, 0), size), flipped);
  return image;
}

TEST(AppTheme, StageIsOpaqueRepeatableAndLitFromItsTop) {
  const QImage a = stage({900, 600}, true);
  EXPECT_EQ(a, stage({900, 600}, true));
  EXPECT_EQ(qAlpha(a.pixel(0, 0)), 255);
  // The warm glow sits at 90 % across and 72 % down from the top edge, so
  // the flipped stage is warmest low on the right, the unflipped one high.
  const QImage b = stage({900, 600}, false);
  EXPECT_GT(qRed(a.pixel(810, 432)), qRed(a.pixel(810, 168)));
  EXPECT_GT(qRed(b.pixel(810, 168)), qRed(b.pixel(810, 432)));
  EXPECT_EQ(a.pixel(810, 432), b.pixel(810, 167));
  // Radii are at least one point, so a tiny rectangle still paints.
  EXPECT_EQ(qAlpha(stage({1, 1}, true).pixel(0, 0)), 255);
  for (const AppTheme::StageGlow &glow : AppTheme::stageGlows(QRectF(10, 20, 0, 0), true))
    EXPECT_EQ(QRectF(glow.centre, QSizeF(glow.rx, glow.ry)), QRectF(10, 20, 1, 1));
}

} // namespace
