#include "canvas/CanvasView.h"

#include "document/AnnotationPreferences.h"
#include "document/CrelDocument.h"
#include "document/MarkGeometry.h"
#include "support/TestSupport.h"

#include <QPainter>

#include <gtest/gtest.h>

#include <memory>

using namespace crel;

namespace {

QImage screenshot() {
  QImage image(400, 300, QImage::Format_ARGB32_Premultiplied);
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      image.setPixel(x, y, qRgb((x * 7) % 256, (y * 5) % 256, ((x + y) * 3) % 256));
  return image;
}

Mark mark(MarkTool tool, QPointF start, QPointF end) {
  return {.id = QUuid::createUuid(),
          .tool = tool,
          .start = start,
          .end = end,
          .ink = Ink::palette()[1],
          .width = 5,
          .text = "Shifted, not repainted",
          .fontSize = 22,
          .textBoxWidth = 160,
          .blurStrength = 6};
}

// How many pixels differ by more than 2 in some channel.
qsizetype differing(const QImage &a, const QImage &b) {
  qsizetype count = 0;
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x) {
      const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
      count += std::max({std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)), std::abs(qBlue(p) - qBlue(q)),
                         std::abs(qAlpha(p) - qAlpha(q))}) > 2;
    }
  return count;
}

// Frames kept from one paint to the next (the layer shifted while panning,
// the frame patched while dragging beneath or as a blur) must show what a
// canvas painting everything afresh shows.
class CanvasRepaintTest : public ::testing::TestWithParam<double> {
protected:
  CanvasRepaintTest() {
    Mark pixelate = mark(MarkTool::blur, {150, 60}, {260, 170});
    pixelate.blurEffect = BlurEffect::pixelate;
    Mark turned = mark(MarkTool::text, {40, 200}, {200, 230});
    turned.rotation = 0.3;
    document.commit({mark(MarkTool::rectangle, {20, 20}, {130, 110}), mark(MarkTool::blur, {60, 40}, {170, 140}),
                     mark(MarkTool::ellipse, {100, 80}, {220, 190}), pixelate, turned,
                     mark(MarkTool::redact, {300.4, 20.6}, {350.2, 70.3}), mark(MarkTool::blur, {280, 200}, {390, 290}),
                     mark(MarkTool::arrow, {10, 280}, {390, 10})});
    canvas->resize(500, 360);
  }

  QImage render(CanvasView &view) const {
    const double ratio = GetParam();
    QImage out(view.size() * ratio, QImage::Format_ARGB32_Premultiplied);
    out.setDevicePixelRatio(ratio);
    out.fill(Qt::white);
    QPainter painter(&out);
    view.paintCanvas(painter);
    painter.end();
    out.setDevicePixelRatio(1);
    return out;
  }

  // A canvas with nothing kept, in the same state.
  QImage fresh(const std::optional<Mark> &moving = std::nullopt) {
    CanvasView other(document);
    other.resize(canvas->size());
    if (moving) {
      other.beginGesture(moving->start);
      other.setMoving(moving);
    }
    return render(other);
  }

  test::TemporarySettings settings;
  AnnotationPreferences preferences{settings.store()};
  CrelDocument document{screenshot(), preferences};
  std::unique_ptr<CanvasView> canvas = std::make_unique<CanvasView>(document);
};

TEST_P(CanvasRepaintTest, PanningPaintsWhatAFreshCanvasPaints) {
  canvas->setZoom(2.5, QPointF(250, 180));
  render(*canvas);
  // Whole view points in every direction, a half point, and moves past the
  // margin the canvas keeps painted around the view, and past the view.
  for (const QSizeF step : {QSizeF(7, 0), QSizeF(0, -5), QSizeF(-13, 9), QSizeF(3, 3), QSizeF(0.5, 0), QSizeF(-2, -11),
                            QSizeF(-300, 280), QSizeF(200, -10), QSizeF(600, 0), QSizeF(-4, 1)}) {
    document.setPan(document.pan() + step);
    const QImage panned = render(*canvas);
    // Scaled images sample a little differently where the device cuts them
    // (a row of pixel cells may start one device pixel off), nowhere more.
    EXPECT_LT(differing(panned, fresh()) * 500, panned.width() * panned.height())
        << step.width() << "," << step.height();
  }
}

TEST_P(CanvasRepaintTest, DraggingBeneathBlursPaintsWhatAFreshCanvasPaints) {
  // The lower blur, under an ellipse, a pixelate and a text mark, dragged
  // across them and then out from under them; then the ellipse, under the pixelate.
  for (const int dragged : {1, 2}) {
    const Mark original = document.marks()[dragged];
    canvas->beginGesture(original.start);
    for (const QPointF by :
         {QPointF(0, 0), QPointF(12.5, 7), QPointF(40, 30), QPointF(41, 30), QPointF(150, -20), QPointF(-30, 120)}) {
      const Mark moving = moved(original, by.x(), by.y());
      canvas->setMoving(moving);
      const QImage frame = render(*canvas);
      EXPECT_EQ(differing(frame, fresh(moving)), 0) << dragged << ": " << by.x() << "," << by.y();
    }
    canvas->setMoving(std::nullopt);
    canvas->endGesture();
  }
}

INSTANTIATE_TEST_SUITE_P(PixelRatios, CanvasRepaintTest, ::testing::Values(1.0, 2.0));

} // namespace
