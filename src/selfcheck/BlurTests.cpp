#include "BlurTests.h"

#include "CanvasEvents.h"
#include "CanvasWindow.h"
#include "Check.h"
#include "Fixtures.h"
#include "IsolatedSettings.h"
#include "PixelProbe.h"

#include "canvas/CanvasView.h"
#include "capture/CaptureSource.h"
#include "document/AnnotationPreferences.h"
#include "document/CrelDocument.h"
#include "document/MarkGeometry.h"
#include "platform/clipboard/Pasteboard.h"

#include <QColorSpace>
#include <QDateTime>

namespace crel::BlurTests {

using NativeTests::colorAt;
using NativeTests::distance;
using NativeTests::expect;

namespace {

// 320 x 240: 12-pixel stripes, bright orange over bright blue, alternating
// with near-black ones.
QImage stripeFixture() {
  QImage bitmap(320, 240, QImage::Format_RGBA8888);
  if (bitmap.isNull())
    NativeTests::fail(QStringLiteral("The 320 by 240 stripe fixture could not be created"));
  bitmap.setColorSpace(QColorSpace(QColorSpace::SRgb));
  for (int y = 0; y < bitmap.height(); ++y)
    for (int x = 0; x < bitmap.width(); ++x) {
      const float v = (x / 12) % 2 == 0 ? 1.0f : 0.1f;
      bitmap.setPixelColor(x, y, y < 120 ? QColor::fromRgbF(v, 0.3f * v, 0.1f) : QColor::fromRgbF(0.1f, 0.3f * v, v));
    }
  return bitmap;
}

Mark plainMark(MarkTool tool, QPointF start, QPointF end) {
  Mark mark = NativeTests::checkMark(tool, start, end, 12);
  return mark;
}

const Mark &firstMark(const CrelDocument &document) {
  if (document.marks().isEmpty())
    NativeTests::fail(QStringLiteral("The blur document has no first mark"));
  return document.marks().first();
}

QColor pixel(const QByteArray &png, int x, int y) {
  return colorAt(NativeTests::decodePNG(png, QStringLiteral("A blur export")), x, y);
}

double pixelDistance(const QByteArray &png, QPoint a, QPoint b) {
  const QImage image = NativeTests::decodePNG(png, QStringLiteral("A blur export"));
  return distance(colorAt(image, a.x(), a.y()), colorAt(image, b.x(), b.y()));
}

} // namespace

void run(const QDir &root) {
  NativeTests::IsolatedSettings settings(root.path(), QStringLiteral("blur-tests-"));
  AnnotationPreferences preferences(settings.store());
  CrelDocument document(stripeFixture(), preferences);
  const QByteArray source = document.renderPNG();

  Mark blur = plainMark(MarkTool::blur, {48, 24}, {272, 100});
  blur.blurEffect = BlurEffect::blur;
  blur.blurStrength = 8;
  document.commit({blur});
  document.selectMark(blur, false);
  const QByteArray weak = document.renderPNG();
  expect(distance(pixel(weak, 100, 60), pixel(source, 100, 60)) > 0.1,
         QStringLiteral("Blur changes the source pixels inside the selected area"));
  expect(distance(pixel(weak, 20, 60), pixel(source, 20, 60)) < 0.001 &&
             distance(pixel(weak, 100, 180), pixel(source, 100, 180)) < 0.001,
         QStringLiteral("Blur leaves pixels outside the region unchanged and retains top-left orientation"));

  document.setBlur(std::nullopt, 32);
  const QByteArray strong = document.renderPNG();
  expect(pixelDistance(strong, {102, 60}, {114, 60}) < pixelDistance(weak, {102, 60}, {114, 60}),
         QStringLiteral("Higher blur strength removes more fine detail"));
  document.undo();
  expect(document.renderPNG() == weak, QStringLiteral("Undo restores the exact previous blur strength and pixels"));
  document.redo();
  expect(document.renderPNG() == strong, QStringLiteral("Redo restores the stronger blur"));

  document.selectMark(firstMark(document), false);
  document.setBlur(BlurEffect::pixelate, 24);
  const QByteArray pixelated = document.renderPNG();
  expect(pixelated != strong && pixelDistance(pixelated, {100, 60}, {105, 60}) < 0.001,
         QStringLiteral("Pixelation produces actual flat pixel blocks in the exported image"));
  FakePasteboard pasteboard;
  document.copy(pasteboard);
  const QByteArray copied = pasteboard.read(QStringLiteral("image/png"));
  expect(!copied.isEmpty() && copied == pixelated,
         QStringLiteral("Clipboard output includes the flattened pixelation"));

  document.enableAutosave(root.path(), CaptureSource{}.filenameStem(QDateTime::currentDateTime()));
  const UpdateSnapshot snapshot = NativeTests::throughJson(document.snapshotForUpdate());
  AnnotationPreferences relaunched(settings.store());
  const std::unique_ptr<CrelDocument> restored = CrelDocument::restoreAfterUpdate(snapshot, relaunched);
  expect(restored->renderPNG() == pixelated && restored->blurEffect() == BlurEffect::pixelate &&
             restored->blurStrength() == 24,
         QStringLiteral("Update recovery preserves blur settings, editable marks and exact output"));

  Mark worded = blur;
  worded.regions = QList<geom::Rect>{{30, 30, 70, 35}, {170, 30, 90, 35}};
  document.commit({worded});
  expect(distance(pixel(document.renderPNG(), 130, 45), pixel(source, 130, 45)) < 0.001,
         QStringLiteral("Smart text blur keeps gaps between word regions unchanged"));

  Mark corner = blur;
  corner.start = {0, 0};
  corner.end = {100, 80};
  document.commit({corner});
  expect(pixel(document.renderPNG(), 0, 0).alphaF() > 0.999, QStringLiteral("Blur at a screenshot edge stays opaque"));

  Mark layer = blur;
  layer.start = {50, 30};
  layer.end = {270, 100};
  const Mark redaction = plainMark(MarkTool::redact, {0, 0}, {320, 240});
  document.commit({redaction, layer});
  const QByteArray layered = document.renderPNG();
  expect(pixel(layered, 160, 60).redF() < 0.001,
         QStringLiteral("Blur composites lower annotations and never restores source pixels beneath a redaction"));
  document.commit({layer});
  expect(pixel(document.renderPNG(), 160, 60).redF() > 0.1,
         QStringLiteral("Changing an underlying layer invalidates the blur cache"));
  expect(hitTest(layer, {160, 60}, 2), QStringLiteral("Blur areas can be selected from their interior"));
  document.undo();
  expect(document.renderPNG() == layered, QStringLiteral("Undoing layer changes restores the correct composited blur"));

  document.commit({});
  document.selectTool(MarkTool::blur);
  document.setBlur(BlurEffect::blur, 16);
  NativeTests::CanvasWindow host(document, 800, 500);
  CanvasView *canvas = &host.canvas();
  NativeTests::CanvasEvents events(*canvas);
  events.drag({40, 30}, {240, 100});
  expect(document.marks().size() == 1 && document.marks().first().tool == MarkTool::blur &&
             document.marks().first().blurStrength == 16.0,
         QStringLiteral("Drawing a blur region commits the chosen strength through the real canvas gesture"));
  document.undo();
  expect(document.renderPNG() == source, QStringLiteral("Removing blur restores the editable original"));
}

} // namespace crel::BlurTests
