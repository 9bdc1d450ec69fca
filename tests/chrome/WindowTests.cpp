#include "ChromeSampling.h"

#include "chrome/AccessibilityOptions.h"
#include "chrome/ChromeColors.h"
#include "chrome/ChromeShadowLayer.h"
#include "chrome/ChromeSurface.h"
#include "chrome/LightPalette.h"
#include "chrome/StageWidget.h"

#include <QApplication>
#include <QStyle>

#include <gtest/gtest.h>

using namespace crel;
using crel::test::near;

namespace {

TEST(LightPalette, WindowsStayLightUnderADarkApplicationPalette) {
  EXPECT_EQ(QApplication::style()->name().toLower(), "fusion");
  const QPalette light = LightPalette::palette();
  for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    EXPECT_GT(light.color(group, QPalette::Window).lightnessF(), 0.85);
    EXPECT_LT(light.color(group, QPalette::WindowText).lightnessF(), 0.5);
  }
  EXPECT_EQ(light.color(QPalette::Highlight), ChromeColors::primary());

  const QPalette saved = QApplication::palette();
  QPalette dark = saved;
  for (auto role : {QPalette::Window, QPalette::Base, QPalette::Button})
    dark.setColor(role, QColor(0x20, 0x20, 0x22));
  dark.setColor(QPalette::WindowText, Qt::white);
  QApplication::setPalette(dark);
  QWidget plain, installed;
  for (QWidget *w : {&plain, &installed}) {
    w->resize(40, 40);
    w->setAutoFillBackground(true);
  }
  LightPalette::apply(&installed);
  EXPECT_LT(test::grabImage(plain).pixelColor(20, 20).lightnessF(), 0.2);
  EXPECT_EQ(test::grabImage(installed).pixelColor(20, 20), light.color(QPalette::Window));
  QApplication::setPalette(saved);
}

TEST(StageWidget, GlowsKeepTheirPlaceAcrossResizes) {
  StageWidget stage;
  QColor warmest[2], corner[2];
  const QSize sizes[] = {{800, 460}, {1120, 780}};
  for (int i = 0; i < 2; ++i) {
    stage.resize(sizes[i]);
    const QImage image = test::grabImage(stage);
    warmest[i] = image.pixelColor(int(0.9 * sizes[i].width()), int(0.72 * sizes[i].height()));
    corner[i] = image.pixelColor(0, sizes[i].height() - 1);
    EXPECT_GT(warmest[i].red() - warmest[i].blue(), corner[i].red() - corner[i].blue() + 10);
  }
  EXPECT_TRUE(near(warmest[0], warmest[1], 1));
}

// A bar floats over a sibling (the canvas); the layer between them paints its
// shadow and follows it.
TEST(ChromeShadowLayer, PaintsAndFollowsTheShadowsOfFloatingSiblings) {
  QWidget window;
  window.resize(300, 200);
  auto *canvas = new QWidget(&window);
  canvas->setGeometry(window.rect());
  test::paintWhite(*canvas);
  auto *layer = new ChromeShadowLayer(&window);
  layer->setGeometry(window.rect());
  AccessibilityOptions options;
  auto *bar = new ChromeSurface(std::nullopt, &window, &options);
  bar->setGeometry(50, 40, 200, 40);
  layer->addCaster(bar);

  const QPoint below(150, 86);
  EXPECT_LT(test::grabImage(window).pixelColor(below).lightness(), 252);
  bar->move(50, 120);
  EXPECT_EQ(test::grabImage(window).pixelColor(below), QColor(Qt::white));
  EXPECT_LT(test::grabImage(window).pixelColor(150, 166).lightness(), 252);
  options.setSettingValue(true); // Reduce Transparency: no shadow at all
  EXPECT_EQ(test::grabImage(window).pixelColor(150, 166), QColor(Qt::white));
  options.setSettingValue(false);
  bar->hide();
  EXPECT_EQ(test::grabImage(window).pixelColor(150, 166), QColor(Qt::white));
}

} // namespace
