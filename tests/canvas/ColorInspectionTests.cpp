#include "CanvasInputFixture.h"

#include "canvas/ColorInspection.h"
#include "canvas/ColorInspectionReadout.h"
#include "canvas/ColorSampling.h"
#include "canvas/InlineTextEditor.h"
#include "chrome/AccessibilityOptions.h"

#include "platform/clipboard/Pasteboard.h"

#include <QElapsedTimer>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>

using namespace crel;
using namespace crel::test;

namespace {

const PixelColor red{255, 0, 0, 255}, blue{0, 0, 255, 255};

// Left half red, right half blue.
QImage halves() {
  QImage image = filledImage({200, 150}, Qt::red);
  QPainter painter(&image);
  painter.fillRect(QRect(100, 0, 100, 150), Qt::blue);
  return image;
}

class ColorInspectionTest : public CanvasOver<> {
protected:
  ColorInspectionTest() : CanvasOver(halves()) { Pasteboard::overrideGeneral(&board); }
  ~ColorInspectionTest() override { Pasteboard::overrideGeneral(nullptr); }

  ColorSampling &sampling() { return canvas->colorSampling(); }
  ColorInspection &inspection() { return canvas->colorInspection(); }
  // Until the due read has happened: a slow machine may take longer than a frame.
  void settle() {
    ASSERT_TRUE(QTest::qWaitFor([this] { return !sampling().pending(); }, 5000));
  }
  void sampleAt(QPointF imagePoint) {
    sampling().pointerMoved(view(imagePoint));
    settle();
  }

  FakePasteboard board;
};

// Counts the events of one type that reach the watched object.
class EventCounter : public QObject {
public:
  EventCounter(QEvent::Type type, int &count) : type_(type), count_(count) {}
  bool eventFilter(QObject *, QEvent *event) override {
    if (event->type() == type_)
      ++count_;
    return false;
  }

private:
  QEvent::Type type_;
  int &count_;
};

} // namespace

TEST_F(ColorInspectionTest, ShowPublishesOnlyChanges) {
  QSignalSpy spy(&inspection(), &ColorInspection::sampleChanged);
  inspection().show(std::nullopt);
  inspection().show(red);
  inspection().show(red);
  inspection().show(blue);
  inspection().show(std::nullopt);
  EXPECT_EQ(spy.count(), 3);
}

TEST_F(ColorInspectionTest, ACopyIsConfirmedForItsTimeAndAgainCopyRestartsIt) {
  const int interval = 400;
  inspection().setConfirmationInterval(interval);
  ColorInspectionReadout readout(inspection());
  board.text = "before";
  QElapsedTimer sinceFirst;
  sinceFirst.start();
  EXPECT_TRUE(inspection().copy(red));
  EXPECT_EQ(board.text, "#FF0000");
  EXPECT_EQ(inspection().sample(), red);
  EXPECT_EQ(inspection().copiedHex(), "#FF0000");
  EXPECT_EQ(readout.detailText(), "Copied");
  ASSERT_TRUE(QTest::qWaitFor([&] { return sinceFirst.elapsed() >= interval / 2; }));
  ASSERT_EQ(inspection().copiedHex(), "#FF0000");
  QElapsedTimer sinceSecond;
  sinceSecond.start();
  EXPECT_TRUE(inspection().copy(blue)); // another colour: the swatch follows at once
  EXPECT_EQ(inspection().sample(), blue);
  EXPECT_EQ(inspection().copiedHex(), "#0000FF");
  ASSERT_TRUE(QTest::qWaitFor([&] { return !inspection().copiedHex(); }, 5000));
  // Restarted, not left to the first copy's end (coarse timers may fire 5 % early).
  EXPECT_GT(sinceSecond.elapsed(), interval * 3 / 4);
  EXPECT_EQ(readout.detailText(), "sRGB · Alt-click to copy");
}

TEST_F(ColorInspectionTest, ARefusedCopyChangesNothingAndKeepsTheClipboard) {
  inspection().show(blue);
  board.text = "kept";
  board.failWrites = true;
  EXPECT_FALSE(inspection().copy(red));
  EXPECT_EQ(inspection().sample(), blue);
  EXPECT_FALSE(inspection().copiedHex());
  EXPECT_EQ(board.text, "kept");
  EXPECT_EQ(board.clearCount, 0);
}

TEST_F(ColorInspectionTest, ManyMovesWithinAFrameReadOnceAtTheLastPosition) {
  for (double x = 10; x <= 190; x += 20)
    sampling().pointerMoved(view({x, 50}));
  EXPECT_EQ(sampling().readCount(), 0);
  settle();
  EXPECT_EQ(sampling().readCount(), 1);
  EXPECT_EQ(inspection().sample(), blue); // x = 190
  // Within the same image pixel: no second read.
  sampleAt({190.4, 50.6});
  EXPECT_EQ(sampling().readCount(), 1);
  sampleAt({20, 50});
  EXPECT_EQ(sampling().readCount(), 2);
  EXPECT_EQ(inspection().sample(), red);
}

TEST_F(ColorInspectionTest, LosingTheActiveWindowHidesTheReadout) {
  sampleAt({20, 20});
  ASSERT_TRUE(inspection().sample());
  QEvent deactivate(QEvent::WindowDeactivate);
  QCoreApplication::sendEvent(canvas.get(), &deactivate);
  EXPECT_FALSE(inspection().sample());
  EXPECT_FALSE(sampling().location());
}

TEST_F(ColorInspectionTest, TypingAGestureAndAnAltClickPauseSampling) {
  sampleAt({20, 20});
  const int reads = sampling().readCount();

  canvas->inlineTextEditor().begin({20, 100});
  sampleAt({150, 20});
  EXPECT_EQ(sampling().readCount(), reads);
  EXPECT_EQ(inspection().sample(), red); // kept, not cleared
  canvas->finishText(true);

  canvas->beginGesture({20, 20});
  sampleAt({150, 20});
  EXPECT_EQ(sampling().readCount(), reads);
  canvas->endGesture();

  // An Alt-click copies and pauses sampling until the button comes up.
  mouseAt(QEvent::MouseButtonPress, view({150, 30}), Qt::AltModifier);
  EXPECT_EQ(board.text, "#0000FF");
  EXPECT_EQ(inspection().copiedHex(), "#0000FF");
  sampleAt({20, 20});
  EXPECT_EQ(sampling().readCount(), reads);
  mouseAt(QEvent::MouseButtonRelease, view({150, 30}), Qt::AltModifier);
  sampleAt({20, 21});
  EXPECT_GT(sampling().readCount(), reads);
  EXPECT_EQ(inspection().sample(), red);
}

TEST_F(ColorInspectionTest, TheReadoutShowsTheSampleAndNamesIt) {
  ColorInspectionReadout readout(inspection());
  EXPECT_EQ(readout.objectName(), "pixel-color-readout");
  EXPECT_TRUE(readout.isHidden());
  inspection().show(PixelColor{0x12, 0xAB, 0xEF, 255});
  EXPECT_FALSE(readout.isHidden());
  EXPECT_EQ(readout.accessibleName(), "Pixel color #12ABEF, sRGB");
  EXPECT_EQ(readout.size(), readout.sizeHint());
  QImage shown = filledImage(readout.size(), Qt::transparent);
  readout.render(&shown);
  // The swatch's middle carries the colour; the corners stay clear of the
  // rounded surface.
  EXPECT_EQ(shown.pixel(10 + 10, shown.height() / 2), qRgb(0x12, 0xAB, 0xEF));
  EXPECT_EQ(qAlpha(shown.pixel(0, 0)), 0);
  inspection().show(std::nullopt);
  EXPECT_TRUE(readout.isHidden());
}

// Like every floating surface, the readout turns opaque while the user asks
// for less transparency, and repaints when that wish changes while it shows.
TEST_F(ColorInspectionTest, TheReadoutsSurfaceFollowsReduceTransparencyLive) {
  AccessibilityOptions &options = AccessibilityOptions::shared();
  const std::optional<bool> environment = options.sources().environment;
  options.setEnvironmentValue(false);
  ColorInspectionReadout readout(inspection());
  inspection().show(PixelColor{0x12, 0xAB, 0xEF, 255});
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&readout));
  int paints = 0;
  EventCounter counter(QEvent::Paint, paints);
  readout.installEventFilter(&counter);
  // Bare surface: in the top padding, halfway across.
  const auto surface = [&] {
    QImage shown = filledImage(readout.size(), Qt::transparent);
    readout.render(&shown);
    return shown.pixelColor(readout.width() / 2, 3);
  };
  for (const bool reduce : {true, false, true}) {
    const int before = paints;
    options.setEnvironmentValue(reduce);
    EXPECT_TRUE(QTest::qWaitFor([&] { return paints > before; }, 2000)) << "repainted when the setting changed";
    const QColor pixel = surface();
    EXPECT_EQ(pixel.alpha() == 255, reduce) << pixel.alpha();
    EXPECT_GE(pixel.red(), 250);
  }
  options.setEnvironmentValue(environment);
}
