#include "MarkSamples.h"

#include "support/TestSupport.h"

#include "document/AnnotationPreferences.h"
#include "document/CrelDocument.h"
#include "document/CrelError.h"
#include "document/MarkGeometry.h"

#include "platform/clipboard/Pasteboard.h"
#include "platform/files/JsonWriter.h"

#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>

using namespace crel;
using test::makeMark;

namespace {

// A striped screenshot, so filters visibly change it.
QImage stripes(int w, int h) {
  return test::generatedImage({w, h}, [](int x, int) { return (x / 3) % 2 ? qRgb(250, 250, 250) : qRgb(10, 40, 200); });
}

class ExportTest : public ::testing::Test {
protected:
  ExportTest() : preferences(settings.store()) {}
  std::unique_ptr<CrelDocument> document(const QImage &image) {
    return std::make_unique<CrelDocument>(image, preferences);
  }
  test::TemporarySettings settings;
  AnnotationPreferences preferences;
};

QImage decode(const QByteArray &png) {
  return QImage::fromData(png, "PNG").convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

} // namespace

TEST_F(ExportTest, CanvasGrowsOnlyWhereMarksOverflow) {
  auto doc = document(stripes(200, 100));
  EXPECT_EQ(doc->expandedBounds({makeMark(MarkTool::rectangle, {20, 20}, {80, 60})}), geom::Rect(0, 0, 200, 100));

  const Mark arrow = makeMark(MarkTool::arrow, {-5, 40}, {50, 40}, 32);
  const geom::Rect grown = doc->expandedBounds({arrow});
  EXPECT_EQ(grown.minX(), std::floor(localVisualBounds(arrow).minX() - 16));
  EXPECT_EQ(grown.minY(), 0);
  EXPECT_EQ(grown.maxX(), 200);
  EXPECT_EQ(grown.maxY(), 100);
}

TEST_F(ExportTest, SizeLimitsAreInclusiveAndCheckedBeforeAllocating) {
  EXPECT_TRUE(CrelDocument::exportSizeAllowed({0, 0, 32768, 4882}));
  EXPECT_FALSE(CrelDocument::exportSizeAllowed({0, 0, 32768, 4883}));
  EXPECT_FALSE(CrelDocument::exportSizeAllowed({0, 0, 32769, 1}));
  EXPECT_FALSE(CrelDocument::exportSizeAllowed({0, 0, NAN, 1}));
  auto doc = document(stripes(10, 10));
  try {
    doc->renderBitmap({0, 0, 32768, 4883});
    FAIL() << "a too-large canvas was rendered";
  } catch (const CrelError &e) {
    EXPECT_EQ(e.kind(), CrelError::Kind::capture);
    EXPECT_EQ(e.errorDescription(), "This canvas is too large to export. Move the outermost marks closer to the "
                                    "screenshot, or undo the last change.");
  }
}

TEST_F(ExportTest, CopyOffersOnlyPngAndKeepsOldContentsWhenRefused) {
  auto doc = document(stripes(30, 20));
  FakePasteboard board;
  board.writeText("earlier");
  int finished = 0;
  doc->finishTextEditing = [&] { ++finished; };
  doc->copy(board);
  EXPECT_EQ(finished, 1);
  EXPECT_EQ(board.data.keys(), QStringList{"image/png"});
  EXPECT_FALSE(board.text.has_value());
  EXPECT_EQ(decode(board.data.value("image/png")).size(), QSize(30, 20));
  EXPECT_EQ(doc->status(), "Copied to clipboard. Paste anywhere with Ctrl+V.");

  FakePasteboard kept;
  kept.writeText("earlier");
  doc->commit({makeMark(MarkTool::line, {0, 0}, {40000, 0})}); // too wide to export
  EXPECT_THROW(doc->copy(kept), CrelError);
  EXPECT_EQ(kept.text, QString("earlier"));
  EXPECT_EQ(kept.clearCount, 0);

  doc->commit({});
  FakePasteboard refusing;
  refusing.failWrites = true;
  try {
    doc->copy(refusing);
    FAIL();
  } catch (const CrelError &e) {
    EXPECT_EQ(e.errorDescription(), "The image could not be put on the clipboard. Try copying again.");
  }
}

TEST_F(ExportTest, PixelSamplingOfTheGrownCanvas) {
  auto doc = document(stripes(20, 20));
  EXPECT_FALSE(doc->pixelColor({NAN, 3}));

  doc->commit({makeMark(MarkTool::line, {-40, 10}, {-30, 10}, 2)});
  const auto grain = doc->pixelColor({-50, 1});
  ASSERT_TRUE(grain);
  EXPECT_EQ(grain->alpha, 255);
  EXPECT_GE(grain->red, 235);
  EXPECT_EQ(grain->red, grain->blue);

  EXPECT_EQ((PixelColor{255, 0, 128, 255}).hex(), "#FF0080");
  EXPECT_EQ((PixelColor{255, 0, 128, 64}).hex(), "#FF008040");
}

TEST_F(ExportTest, BlurChangesOnlyItsRegionAndSeesOnlyWhatIsBeneath) {
  auto doc = document(stripes(120, 80));
  const QImage plain = doc->renderBitmap(doc->expandedBounds({}));
  Mark blur = makeMark(MarkTool::blur, {30, 20}, {90, 60});
  doc->commit({blur});
  const QImage blurred = doc->renderBitmap(doc->expandedBounds(doc->marks()));
  int changedInside = 0;
  for (int y = 0; y < 80; ++y)
    for (int x = 0; x < 120; ++x) {
      const bool inside = x >= 30 && x < 90 && y >= 20 && y < 60;
      if (!inside)
        ASSERT_EQ(blurred.pixel(x, y), plain.pixel(x, y)) << x << "," << y;
      else if (blurred.pixel(x, y) != plain.pixel(x, y))
        ++changedInside;
    }
  EXPECT_GT(changedInside, 60 * 40 / 2);

  // A mark above the blur stays sharp.
  Mark above = makeMark(MarkTool::rectangle, {40, 30}, {80, 50}, 4);
  above.ink = {"White", 1, 1, 1};
  doc->commit({blur, above});
  EXPECT_EQ(doc->renderBitmap(doc->expandedBounds(doc->marks())).pixel(40, 40), qRgb(255, 255, 255));
}

// Two screenshots that differ only in pixels a redaction overlaps export the
// same bytes: no edge pixel shows part of what it hides, in the export or in
// a filter computed above it.
TEST_F(ExportTest, ARedactionHidesEveryPixelItTouches) {
  struct Case {
    const char *name;
    double rotation;
    std::optional<BlurEffect> above;
    bool wordRegions;
  };
  const Case cases[] = {
      {"fractional", 0, std::nullopt, false},
      {"rotated", 0.41, std::nullopt, false},
      {"rotated under a blur", 0.41, BlurEffect::blur, false},
      {"rotated under pixelate", -1.1, BlurEffect::pixelate, false},
      {"word regions, rotated, under a blur", 2.3, BlurEffect::blur, true},
  };
  for (const Case &c : cases) {
    Mark redact = makeMark(MarkTool::redact, {20.3, 14.7}, {71.45, 47.2});
    redact.rotation = c.rotation;
    if (c.wordRegions)
      redact.regions = QList<geom::Rect>{{22.55, 16.25, 18.6, 9.3}, {45.1, 31.3, 20.7, 8.85}};
    QList<Mark> marks{redact};
    if (c.above) {
      Mark filter = makeMark(MarkTool::blur, {10.6, 5.2}, {90.3, 60.9});
      filter.blurEffect = c.above;
      filter.blurStrength = 6;
      marks.append(filter);
    }
    // Which pixels the redaction overlaps, sampled 8 × 8 per pixel.
    QList<QPolygonF> shapes;
    for (const geom::Rect &r : redact.regions ? *redact.regions : QList<geom::Rect>{bounds(redact)})
      shapes.append(rotationTransform(redact).map(QPolygonF(r.toQRectF())));
    auto overlapped = [&](int x, int y) {
      for (const QPolygonF &shape : shapes)
        for (int i = 0; i < 64; ++i)
          if (shape.containsPoint({x + (i % 8 + 0.5) / 8, y + (i / 8 + 0.5) / 8}, Qt::OddEvenFill))
            return true;
      return false;
    };
    const QImage shown = stripes(120, 80);
    QImage hidden = shown;
    int changed = 0;
    for (int y = 0; y < hidden.height(); ++y)
      for (int x = 0; x < hidden.width(); ++x)
        if (overlapped(x, y)) {
          hidden.setPixel(x, y, qRgb((x * 37) % 256, (y * 91) % 256, 255 - x));
          ++changed;
        }
    ASSERT_GT(changed, 400) << c.name;
    auto first = document(shown), second = document(hidden);
    first->commit(marks);
    second->commit(marks);
    EXPECT_TRUE(first->renderPNG() == second->renderPNG()) << c.name; // the bytes, not a dump of them
  }
}

// Ten full-screen blurs need far more than the cache may hold: it stays within
// its limit, each layer is filtered once per render, and what had to go is
// filtered again with the same result.
TEST_F(ExportTest, ManyLargeBlursKeepTheCacheWithinItsLimit) {
  const QImage image = stripes(2048, 1536); // 12 MiB a patch
  QList<Mark> marks;
  for (int i = 0; i < 10; ++i) {
    Mark blur = makeMark(MarkTool::blur, {0, 0}, {2048, 1536});
    blur.blurStrength = 4 + i;
    blur.blurEffect = i % 3 == 2 ? BlurEffect::pixelate : BlurEffect::blur;
    marks.append(blur);
  }
  auto doc = document(image);
  const BlurCache &cache = doc->blurRenderer().cache();
  auto render = [](CrelDocument &d) { return d.renderBitmap(d.expandedBounds(d.marks())); };
  doc->commit(marks);
  const QImage all = render(*doc);
  EXPECT_EQ(cache.misses(), 10);
  EXPECT_LE(cache.totalCost(), BlurCache::defaultCostLimit);
  EXPECT_NE(all.pixel(1000, 700), image.pixel(1000, 700));

  doc->commit(marks.mid(0, 4)); // the lower patches were let go
  const QImage lower = render(*doc);
  EXPECT_EQ(cache.misses(), 14);
  EXPECT_LE(cache.totalCost(), BlurCache::defaultCostLimit);
  auto fresh = document(image);
  fresh->commit(marks.mid(0, 4));
  EXPECT_EQ(lower, render(*fresh));
  doc->undo();
  EXPECT_EQ(render(*doc), all);
}

TEST_F(ExportTest, PixelateGivesFlatCellsOnTheCanvasGrid) {
  auto doc = document(stripes(120, 80));
  Mark cells = makeMark(MarkTool::blur, {10, 10}, {110, 70});
  cells.blurEffect = BlurEffect::pixelate;
  cells.blurStrength = 16;
  doc->commit({cells});
  const QImage out = doc->renderBitmap(doc->expandedBounds(doc->marks()));
  // Cells span canvas multiples of 16: [16, 32) is one flat cell, 31|32 a border.
  for (int x = 16; x < 32; ++x)
    EXPECT_EQ(out.pixel(x, 20), out.pixel(16, 20));
  EXPECT_EQ(out.pixel(20, 16), out.pixel(20, 31));

  cells.blurStrength = 200; // clamps to 96
  doc->commit({cells});
  const QImage coarse = doc->renderBitmap(doc->expandedBounds(doc->marks()));
  EXPECT_EQ(coarse.pixel(12, 12), coarse.pixel(95, 60));
}

namespace {

// The PNG export of `marks` over `image` by a process that drew nothing before.
QByteArray exportedByAFreshProcess(const QImage &image, const QList<Mark> &marks) {
  QTemporaryDir folder;
  JsonWriter list;
  Mark::encodeList(list, marks);
  QFile marksFile(folder.filePath("marks.json"));
  if (!image.save(folder.filePath("image.png")) || !marksFile.open(QIODevice::WriteOnly) ||
      marksFile.write(list.take()) <= 0)
    return {};
  marksFile.close();
  QProcess fresh;
  fresh.start(CREL_EXPORT_ONCE, {folder.filePath("image.png"), marksFile.fileName()});
  if (!fresh.waitForFinished(60'000) || fresh.exitStatus() != QProcess::NormalExit || fresh.exitCode() != 0)
    return {};
  return fresh.readAllStandardOutput();
}

} // namespace

// Glyphs rasterised small at a fraction of a pixel, anywhere in the process,
// must not move large text drawn later: a state exports the same bytes
// whatever came before it, in this process or in a fresh one.
TEST_F(ExportTest, AStateExportsTheSameBytesWhateverWasExportedBefore) {
  auto text = [](AnnotationStyle style, QPointF at, double size, const char *content) {
    Mark m = makeMark(MarkTool::text, at, at, 4, style);
    m.text = content;
    m.fontSize = size;
    m.textBoxWidth = 3 * size;
    return m;
  };
  Mark farStep = makeMark(MarkTool::step, {300.4, 200.6}, {300.4, 200.6}, 9000);
  farStep.number = 3;
  struct Case {
    const char *name;
    AnnotationStyle style;
    QList<Mark> between; // with the large text, over a much larger canvas
  };
  const Case cases[] = {
      {"small text at fractions of a pixel",
       AnnotationStyle::formal,
       {text(AnnotationStyle::formal, {-6000.37, 4500.6}, 17.3, "Wave"),
        text(AnnotationStyle::formal, {40.7, 9.2}, 11.9, "xg")}},
      {"a step grown far out",
       AnnotationStyle::formal,
       {farStep, text(AnnotationStyle::formal, {60.13, 250.55}, 21.7, "s")}},
      {"handwriting", AnnotationStyle::doodle, {text(AnnotationStyle::doodle, {-6000.6, 4500.3}, 13.7, "Wave xg")}},
  };
  const QImage image = stripes(400, 300);
  for (const Case &c : cases) {
    const Mark large = text(c.style, {12.5, 8}, 300, "Ag 30");
    auto doc = document(image);
    doc->commit({large});
    const QByteArray first = doc->renderPNG();
    const geom::Rect bounds = doc->expandedBounds(doc->marks());
    doc->commit(QList<Mark>{large} + c.between);
    const geom::Rect grown = doc->expandedBounds(doc->marks());
    EXPECT_GT(grown.width() * grown.height(), 40 * bounds.width() * bounds.height()) << c.name;
    EXPECT_FALSE(doc->renderPNG().isEmpty()) << c.name;
    doc->undo();
    EXPECT_TRUE(doc->renderPNG() == first) << c.name; // the bytes, not a dump of them
    EXPECT_TRUE(exportedByAFreshProcess(image, {large}) == first) << c.name;
  }
}
