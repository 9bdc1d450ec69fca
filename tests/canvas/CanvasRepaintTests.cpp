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
  Mark m;
  m.id = QUuid::createUuid();
  m.tool = tool;
  m.start = start;
  m.end = end;
  m.ink = Ink::palette()[1];
  m.width = 5;
  m.fontSize = 22;
  m.textBoxWidth = 160;
  m.text = "Shifted, not repainted";
  m.blurStrength = 6;
  return m;
}

int difference(QRgb p, QRgb q) {
  return std::max({std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)), std::abs(qBlue(p) - qBlue(q)),
                   std::abs(qAlpha(p) - qAlpha(q))});
}

int largestDifference(const QImage &a, const QImage &b) {
  int worst = 0;
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x)
      worst = std::max(worst, difference(a.pixel(x, y), b.pixel(x, y)));
  return worst;
}

// Per mille of the pixels that differ by more than 2.
int differingPerMille(const QImage &a, const QImage &b) {
  qsizetype count = 0;
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x)
      count += difference(a.pixel(x, y), b.pixel(x, y)) > 2;
  return int(count * 1000 / (qsizetype(a.width()) * a.height()));
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
    {
      QImage f = fresh();
      QRect box;
      for (int y = 0; y < f.height(); ++y)
        for (int x = 0; x < f.width(); ++x)
          if (f.pixel(x, y) != panned.pixel(x, y))
            box |= QRect(x, y, 1, 1);
      fprintf(stderr, "DIFF %d,%d %d %d\n", box.x(), box.y(), box.width(), box.height());
      if (box.height() > 400) {
        QImage d(f.size(), QImage::Format_RGB32);
        for (int y = 0; y < f.height(); ++y)
          for (int x = 0; x < f.width(); ++x) {
            QRgb p = f.pixel(x, y), q = panned.pixel(x, y);
            int m =
                std::max({std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)), std::abs(qBlue(p) - qBlue(q))});
            d.setPixel(x, y, qRgb(std::min(255, m * 20), std::min(255, m * 20), std::min(255, m * 20)));
          }
        d.save("/tmp/h17b-diff.png");
      }
    }
    // Scaled images sample a little differently where the device cuts them
    // (a row of pixel cells may start one device pixel off), nowhere more.
    EXPECT_LT(differingPerMille(panned, fresh()), 2) << step.width() << "," << step.height();
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
      EXPECT_LE(largestDifference(frame, fresh(moving)), 1) << dragged << ": " << by.x() << "," << by.y();
    }
    canvas->setMoving(std::nullopt);
    canvas->endGesture();
  }
}

INSTANTIATE_TEST_SUITE_P(PixelRatios, CanvasRepaintTest, ::testing::Values(1.0, 2.0));

} // namespace
