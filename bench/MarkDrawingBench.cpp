// Drawing 500 mixed marks onto a 5K image, and hit-testing them at a point,
// as the canvas does on every frame and every click. Informative only: the
// summary lines report microseconds per mark.

#include "BenchSupport.h"

#include "document/MarkDrawing.h"
#include "document/MarkGeometry.h"
#include "document/MarkTool.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QUuid>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <random>

using namespace crel;

namespace {

constexpr int markCount = 500;
const QSize imageSize(5120, 2880);

const MarkTool mixedTools[] = {MarkTool::arrow,    MarkTool::line, MarkTool::rectangle, MarkTool::ellipse,
                               MarkTool::triangle, MarkTool::pen,  MarkTool::text,      MarkTool::highlight,
                               MarkTool::redact,   MarkTool::step};

Mark randomMark(std::mt19937 &rng, MarkTool tool) {
  std::uniform_real_distribution<double> x(100, imageSize.width() - 700), y(100, imageSize.height() - 700);
  std::uniform_real_distribution<double> extent(60, 600), unit(0, 1);
  Mark m;
  m.id = QUuid::createUuid();
  m.tool = tool;
  m.start = {x(rng), y(rng)};
  m.end = m.start + QPointF(extent(rng), extent(rng) * (unit(rng) < 0.5 ? 0.4 : 1));
  m.ink = Ink::palette()[int(unit(rng) * 6) % 6];
  m.width = 4 + unit(rng) * 12;
  m.style = unit(rng) < 0.5 ? AnnotationStyle::formal : AnnotationStyle::doodle;
  if (unit(rng) < 0.2)
    m.rotation = unit(rng) * 3;
  switch (tool) {
  case MarkTool::pen:
    for (int i = 0; i < 60; ++i)
      m.points.append(m.start + QPointF(i * 8, 40 * std::sin(i / 5.0)));
    break;
  case MarkTool::text:
    m.text = "Look here: this value is wrong";
    m.fontSize = 24 + unit(rng) * 24;
    m.textBoxWidth = 320;
    break;
  case MarkTool::highlight:
    m.ink = Ink::lemon();
    m.width = 24;
    if (unit(rng) < 0.5) {
      m.regions = QList<geom::Rect>{{m.start.x(), m.start.y(), 300, 24}, {m.start.x(), m.start.y() + 30, 200, 24}};
    } else {
      m.highlightMode = HighlightMode::marker;
      m.points = {m.start, m.start + QPointF(200, 4), m.start + QPointF(400, -2)};
    }
    break;
  case MarkTool::step:
    m.width = 48;
    m.number = 1 + int(unit(rng) * 20);
    break;
  default: break;
  }
  return m;
}

QList<Mark> mixedMarks(int count, std::optional<MarkTool> only = std::nullopt) {
  std::mt19937 rng(7);
  QList<Mark> marks;
  for (int i = 0; i < count; ++i)
    marks.append(randomMark(rng, only.value_or(mixedTools[i % std::size(mixedTools)])));
  return marks;
}

QImage &screenshot() {
  static QImage image = [] {
    QImage i(imageSize, QImage::Format_ARGB32_Premultiplied);
    i.fill(QColor(236, 238, 241));
    return i;
  }();
  return image;
}

double drawMicrosPerMark = 0, hitMicrosPerMark = 0;

void BM_Draw500MixedMarks5K(benchmark::State &state) {
  const QList<Mark> marks = mixedMarks(markCount);
  QImage &image = screenshot();
  double seconds = 0;
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    QPainter p(&image);
    for (const Mark &m : marks)
      draw(p, m);
    p.end();
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  }
  drawMicrosPerMark = seconds * 1e6 / (double(state.iterations()) * markCount);
  state.counters["us_per_mark"] = drawMicrosPerMark;
}
BENCHMARK(BM_Draw500MixedMarks5K)->Unit(benchmark::kMillisecond);

void BM_Draw100OfOneTool5K(benchmark::State &state) {
  const MarkTool tool = mixedTools[state.range(0)];
  const QList<Mark> marks = mixedMarks(100, tool);
  QImage &image = screenshot();
  for (auto _ : state) {
    QPainter p(&image);
    for (const Mark &m : marks)
      draw(p, m);
  }
  state.SetLabel(rawValue(tool).toStdString());
  state.counters["us_per_mark"] =
      benchmark::Counter(100.0 * double(state.iterations()), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_Draw100OfOneTool5K)->DenseRange(0, int(std::size(mixedTools)) - 1)->Unit(benchmark::kMillisecond);

void BM_HitTest500MixedMarks(benchmark::State &state) {
  const QList<Mark> marks = mixedMarks(markCount);
  // A point that misses almost everything, so every mark is tested in full.
  const QPointF point(imageSize.width() / 2.0 + 0.5, imageSize.height() / 2.0 + 0.5);
  double seconds = 0;
  int hits = 0;
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    hits = 0;
    for (const Mark &m : marks)
      hits += hitTest(m, point, 7);
    benchmark::DoNotOptimize(hits);
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  }
  hitMicrosPerMark = seconds * 1e6 / (double(state.iterations()) * markCount);
  state.counters["us_per_mark"] = hitMicrosPerMark;
  state.counters["hits"] = hits;
}
BENCHMARK(BM_HitTest500MixedMarks)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv) {
  crel::bench::useHeadlessQt();
  QGuiApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::printf("INFO mark_draw_5k_us_per_mark %.2f (500 mixed marks on 5120x2880)\n", drawMicrosPerMark);
  std::printf("INFO mark_hit_test_us_per_mark %.3f (500 mixed marks at one point)\n", hitMicrosPerMark);
  return 0;
}
