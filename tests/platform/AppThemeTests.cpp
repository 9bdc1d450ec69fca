#include "platform/AppTheme.h"

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
  QFile shipped(QStringLiteral(CREL_SOURCE_DIR "/resources/brand.json"));
  ASSERT_TRUE(shipped.open(QIODevice::ReadOnly));
  const auto palette = AppTheme::paletteFromBrand(shipped.readAll());
  ASSERT_TRUE(palette);
  EXPECT_EQ(palette->primary, AppTheme::primary());
  EXPECT_EQ(palette->stage, AppTheme::stage());
}

TEST(AppTheme, GlowsArePlacedByTheRectangle) {
  struct Row {
    QRectF rect;
    bool flipped;
    QPointF c1, c2;
    double rx1, ry1, rx2, ry2;
  };
  const Row rows[] = {
      {{0, 0, 900, 600}, true, {108, 120}, {810, 432}, 540, 372, 558, 330},
      {{0, 0, 900, 600}, false, {108, 480}, {810, 168}, 540, 372, 558, 330},
      {{10, 20, 0, 0}, true, {10, 20}, {10, 20}, 1, 1, 1, 1},
  };
  for (const Row &r : rows) {
    const auto glows = AppTheme::stageGlows(r.rect, r.flipped);
    EXPECT_EQ(glows[0].centre, r.c1);
    EXPECT_EQ(glows[1].centre, r.c2);
    EXPECT_DOUBLE_EQ(glows[0].rx, r.rx1);
    EXPECT_DOUBLE_EQ(glows[0].ry, r.ry1);
    EXPECT_DOUBLE_EQ(glows[1].rx, r.rx2);
    EXPECT_DOUBLE_EQ(glows[1].ry, r.ry2);
    EXPECT_EQ(glows[0].color, AppTheme::primary());
    EXPECT_EQ(glows[0].alpha, 0.1);
    EXPECT_EQ(glows[1].color, AppTheme::wash());
    EXPECT_EQ(glows[1].alpha, 0.85);
  }
}

QImage stage(QSize size, bool flipped) {
  QImage image(size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
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
}

} // namespace
