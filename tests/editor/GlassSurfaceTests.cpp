#include "chrome/AccessibilityOptions.h"
#include "editor/GlassContainer.h"
#include "editor/GlassSurface.h"

#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QTest>

#include <gtest/gtest.h>

using namespace crel;

namespace {

class Fixed : public QLabel {
public:
  explicit Fixed(QSize size) : QLabel("content"), size_(size) {}
  QSize sizeHint() const override { return size_; }

private:
  QSize size_;
};

TEST(GlassSurface, AnInstalledWindowTakesItsViewsFittingSizeAndKeepsItsOrigin) {
  QWidget window;
  window.move(140, 90);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  const QPoint origin = window.frameGeometry().topLeft();
  GlassSurface::install(new Fixed({524, 740}), window);
  QCoreApplication::processEvents();
  EXPECT_EQ(window.geometry().size(), QSize(524, 740));
  EXPECT_EQ(window.frameGeometry().topLeft(), origin);
  // Sizing to the current size changes nothing.
  const QRect frame = window.frameGeometry();
  GlassSurface::setContentSize(window.geometry().size(), window);
  QCoreApplication::processEvents();
  EXPECT_EQ(window.frameGeometry(), frame);
}

TEST(GlassSurface, ReduceTransparencySwapsTheBackdropAndKeepsTheInterface) {
  QWidget window;
  auto *content = new Fixed({300, 200});
  GlassContainer *container = GlassSurface::install(content, window);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  EXPECT_EQ(container->backdropForm(), GlassContainer::Backdrop::material);
  const QColor windowColour = window.palette().color(QPalette::Window);
  for (const bool reduce : {true, false, true}) {
    QPointer<QWidget> before = container->backdrop();
    container->setReduceTransparency(reduce);
    EXPECT_EQ(container->backdropForm(), reduce ? GlassContainer::Backdrop::plain : GlassContainer::Backdrop::material);
    EXPECT_FALSE(before); // replaced, not stacked
    EXPECT_EQ(container->content(), content);
    // Backdrop at the bottom, over the whole container, the content above it.
    EXPECT_EQ(container->children().first(), container->backdrop());
    EXPECT_EQ(container->backdrop()->geometry(), container->rect());
    EXPECT_EQ(content->geometry(), container->rect());
    const QImage shot = window.grab().toImage();
    if (reduce) {
      EXPECT_EQ(shot.pixelColor(shot.width() - 2, 2), windowColour); // opaque window colour
    }
  }
  container->setReduceTransparency(true); // the same form: nothing rebuilt
  QPointer<QWidget> plain = container->backdrop();
  container->setReduceTransparency(true);
  EXPECT_TRUE(plain);
}

TEST(GlassSurface, TheBackdropFollowsTheReduceTransparencySettingLive) {
  AccessibilityOptions options;
  options.setSettingValue(true);
  GlassContainer container(new Fixed({300, 200}), &options);
  EXPECT_EQ(container.backdropForm(), GlassContainer::Backdrop::plain);
  options.setSettingValue(false);
  EXPECT_EQ(container.backdropForm(), GlassContainer::Backdrop::material);
  options.setEnvironmentValue(true);
  EXPECT_EQ(container.backdropForm(), GlassContainer::Backdrop::plain);
}

} // namespace
