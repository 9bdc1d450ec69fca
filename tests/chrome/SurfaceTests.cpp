#include "ChromeSampling.h"

#include "chrome/AccessibilityOptions.h"
#include "chrome/ChromeDivider.h"
#include "chrome/ChromeShape.h"
#include "chrome/ChromeSurface.h"
#include "chrome/StageWidget.h"
#include "platform/files/SettingsStore.h"

#include "support/TestSupport.h"

#include <QAccessible>
#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace crel;
using crel::test::composite;
using crel::test::near;

namespace {

TEST(AccessibilityOptions, FirstSourceThatSaysAnythingWins) {
  using S = AccessibilityOptions::Sources;
  struct Row {
    S sources;
    bool expected;
  };
  const Row rows[] = {
      {S{}, false},
      {S{std::nullopt, std::nullopt, true}, true},
      {S{std::nullopt, false, true}, false},
      {S{false, true, true}, false},
      {S{true, false, false}, true},
  };
  for (const Row &r : rows)
    EXPECT_EQ(AccessibilityOptions::resolve(r.sources), r.expected);
  for (const char *on : {"1", "true", "Yes", " on "})
    EXPECT_EQ(AccessibilityOptions::parseFlag(QString::fromLatin1(on)), true) << on;
  for (const char *off : {"0", "FALSE", "no", "off"})
    EXPECT_EQ(AccessibilityOptions::parseFlag(QString::fromLatin1(off)), false) << off;
  for (const char *nothing : {"", "2", "maybe"})
    EXPECT_EQ(AccessibilityOptions::parseFlag(QString::fromLatin1(nothing)), std::nullopt) << nothing;
}

TEST(AccessibilityOptions, ReloadReadsEnvironmentAndSettingAndSignalsOnlyRealChanges) {
  test::TemporarySettings settings;
  AccessibilityOptions options;
  QSignalSpy changed(&options, &AccessibilityOptions::changed);

  options.setPortalValue(true);
  EXPECT_TRUE(options.reduceTransparency());
  settings.store().setValue(AccessibilityOptions::settingKey, false);
  options.reload(settings.store()); // the setting outranks the portal
  EXPECT_FALSE(options.reduceTransparency());
  EXPECT_EQ(changed.count(), 2);

  const QByteArray saved = qgetenv(AccessibilityOptions::environmentVariable);
  qputenv(AccessibilityOptions::environmentVariable, "1");
  options.reload(settings.store());
  EXPECT_TRUE(options.reduceTransparency());
  options.setPortalValue(false); // outranked: no change, no signal
  EXPECT_EQ(changed.count(), 3);
  qputenv(AccessibilityOptions::environmentVariable, "garbage");
  options.reload(settings.store()); // an unreadable variable says nothing
  EXPECT_FALSE(options.reduceTransparency());
  if (saved.isNull())
    qunsetenv(AccessibilityOptions::environmentVariable);
  else
    qputenv(AccessibilityOptions::environmentVariable, saved);
}

TEST(ChromeShape, CapsuleAndRoundedRectangleHitAreas) {
  const QRectF bar(0, 0, 200, 40);
  struct Row {
    std::optional<double> radius;
    QPointF point;
    bool inside;
  };
  const Row rows[] = {
      {std::nullopt, {2, 2}, false}, {std::nullopt, {20, 2}, true},
      {std::nullopt, {6, 8}, true},  {std::nullopt, {198, 38}, false},
      {10.0, {2, 2}, false},         {10.0, {4, 4}, true},
      {10.0, {198, 20}, true},       {std::nullopt, {201, 20}, false},
      {0.0, {0.1, 0.1}, true},
  };
  for (const Row &r : rows)
    EXPECT_EQ(ChromeShape::contains(bar, r.radius, r.point), r.inside)
        << r.radius.value_or(-1) << " " << r.point.x() << "," << r.point.y();
  // A capsule is round whatever its height.
  EXPECT_EQ(ChromeShape::effectiveRadius(QRectF(0, 0, 300, 64), std::nullopt), 32);
  EXPECT_EQ(ChromeShape::effectiveRadius(QRectF(0, 0, 16, 64), 10.0), 8);
}

struct SurfaceScene {
  StageWidget stage;
  AccessibilityOptions options;
  ChromeSurface *bar;
  SurfaceScene(std::optional<double> radius = std::nullopt) {
    stage.resize(400, 200);
    bar = new ChromeSurface(radius, &stage, &options);
    bar->setGeometry(100, 60, 200, 40);
  }
  QImage render() { return test::grabImage(stage); }
};

TEST(ChromeSurface, VariantsFillShadeAndStroke) {
  // The stage behind each probe point, drawn without the bar.
  SurfaceScene bare;
  bare.bar->hide();
  QImage stage = bare.render();
  const QPoint centre(200, 80), below(200, 106), corner(101, 61);

  struct Row {
    bool reduce, preview;
    double fillAlpha;
    bool shadowed;
  };
  const Row rows[] = {{true, false, 1.0, false}, {false, true, 0.86, true}};
  for (const Row &r : rows) {
    SurfaceScene scene;
    scene.options.setSettingValue(r.reduce);
    scene.bar->setPreviewRendering(r.preview);
    QImage image = scene.render();
    EXPECT_TRUE(near(image.pixelColor(centre),
                     composite(QColor::fromRgbF(1, 1, 1, float(r.fillAlpha)), stage.pixelColor(centre))))
        << r.reduce << r.preview << " " << image.pixelColor(centre).name().toStdString();
    // The shadow falls below the bar, outside the widget's own rectangle.
    if (r.shadowed)
      EXPECT_LT(image.pixelColor(below).lightness(), stage.pixelColor(below).lightness() - 1) << r.preview;
    else
      EXPECT_EQ(image.pixelColor(below), stage.pixelColor(below));
    // The capsule leaves the corner of its rectangle to the stage.
    EXPECT_TRUE(near(image.pixelColor(corner), stage.pixelColor(corner), 3));
  }
}

// Nothing blurs what lies behind a bar here, so the live surface must all
// but hide it: a zoomed screenshot's text may not run through the controls.
TEST(ChromeSurface, TheLiveSurfaceHidesWhatLiesBehindIt) {
  for (const bool reduce : {false, true}) {
    QColor seen[2];
    for (const bool dark : {false, true}) {
      QWidget behind;
      behind.resize(400, 200);
      behind.setAutoFillBackground(true);
      QPalette palette = behind.palette();
      palette.setColor(QPalette::Window, dark ? Qt::black : Qt::white);
      behind.setPalette(palette);
      AccessibilityOptions options;
      options.setSettingValue(reduce);
      auto *bar = new ChromeSurface(std::nullopt, &behind, &options);
      bar->setGeometry(100, 60, 200, 40);
      seen[dark] = test::grabImage(behind).pixelColor(200, 80);
    }
    EXPECT_LE(seen[0].lightness() - seen[1].lightness(), 8)
        << reduce << " over white " << seen[0].name().toStdString() << ", over black " << seen[1].name().toStdString();
  }
}

TEST(ChromeSurface, FollowsReduceTransparencyLive) {
  SurfaceScene bare;
  bare.bar->hide();
  const QImage stage = bare.render();
  SurfaceScene scene(10.0);
  EXPECT_EQ(scene.bar->variant(), SurfaceVariant::material);
  EXPECT_NE(scene.render().pixelColor(200, 106), stage.pixelColor(200, 106));
  scene.options.setPortalValue(true);
  EXPECT_EQ(scene.bar->variant(), SurfaceVariant::opaque);
  QImage image = scene.render();
  EXPECT_EQ(image.pixelColor(200, 80), QColor(Qt::white));
  EXPECT_EQ(image.pixelColor(200, 106), stage.pixelColor(200, 106));
  // A rounded rectangle of radius 10 covers points a capsule would not.
  EXPECT_EQ(image.pixelColor(104, 64), QColor(Qt::white));
}

TEST(ChromeDivider, NineByEighteenAndHiddenFromAssistiveTechnologies) {
  ChromeDivider divider;
  EXPECT_EQ(divider.size(), QSize(9, 18));
  QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(&divider);
  ASSERT_NE(accessible, nullptr);
  EXPECT_EQ(accessible->role(), QAccessible::Separator);
  EXPECT_TRUE(accessible->state().invisible);
  QImage image = test::grabImage(divider);
  EXPECT_TRUE(near(image.pixelColor(4, 9), composite(QColor::fromRgbF(0, 0, 0, 0.1f), image.pixelColor(1, 9)), 3));
}

} // namespace
