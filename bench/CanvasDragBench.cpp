// One frame of the editor while a mark is dragged: the stage and the canvas
// over it repainted whole, 1120x780 view points at device pixel ratio 2, 50
// marks of which 3 are blurs, the dragged mark on top with its selection
// chrome. Measured on a 5120x2880 screenshot and an 80-megapixel image,
// against the naive frame that draws the whole image scaled every time.
// The same view and marks also measure a frame of panning the zoomed 5K
// screenshot and a frame of dragging one of its blurs (beneath 37 marks).

#include "BenchSupport.h"

#include "canvas/CanvasView.h"
#include "canvas/EditorStageView.h"

#include "document/AnnotationPreferences.h"
#include "document/CrelDocument.h"
#include "document/MarkDrawing.h"
#include "document/MarkGeometry.h"
#include "platform/files/SettingsStore.h"

#include <QApplication>
#include <QLayout>
#include <QPainter>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <random>

using namespace crel;

namespace {

const QSize viewSize(1120, 780);
constexpr double devicePixelRatio = 2;
constexpr int frames = 40;

QImage screenshotLike(QSize size) {
  QImage image(size, QImage::Format_RGB32);
  image.fill(QColor(244, 245, 247));
  QPainter p(&image);
  const double k = size.height() / 1080.0;
  p.fillRect(QRectF(0, 0, size.width(), 64 * k), QColor(221, 227, 234));
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> unit(0, 1);
  for (int i = 0; i < 40; ++i)
    p.fillRect(QRectF(unit(rng) * size.width(), unit(rng) * size.height(), 300 * k * unit(rng), 200 * k * unit(rng)),
               QColor::fromHsvF(float(unit(rng)), 0.5f, 0.8f));
  QFont font("DejaVu Sans");
  font.setPixelSize(int(22 * k));
  p.setFont(font);
  p.setPen(QColor(43, 47, 54));
  for (double y = 120 * k; y < size.height(); y += 34 * k)
    p.drawText(QPointF(60 * k, y), "Revenue grew in every region except the north-west: 12.5 / 40.1 / 7.7");
  return image;
}

Mark randomMark(std::mt19937 &rng, int index, QSize size) {
  static const MarkTool tools[] = {MarkTool::arrow,  MarkTool::rectangle, MarkTool::ellipse,   MarkTool::line,
                                   MarkTool::pen,    MarkTool::text,      MarkTool::highlight, MarkTool::step,
                                   MarkTool::redact, MarkTool::triangle};
  std::uniform_real_distribution<double> unit(0, 1);
  const double k = size.height() / 1080.0;
  Mark m;
  m.id = QUuid::createUuid();
  const bool blur = index == 12 || index == 27 || index == 41;
  m.tool = blur ? MarkTool::blur : tools[index % std::size(tools)];
  m.start = {unit(rng) * size.width() * 0.8, unit(rng) * size.height() * 0.8};
  m.end = m.start + QPointF((80 + 300 * unit(rng)) * k, (60 + 200 * unit(rng)) * k);
  m.ink = Ink::palette()[index % 4];
  m.width = AnnotationPreferences::defaultWidth(m.tool) * k;
  m.style = index % 2 ? AnnotationStyle::formal : AnnotationStyle::doodle;
  switch (m.tool) {
  case MarkTool::pen:
    for (int i = 0; i < 80; ++i)
      m.points.append(m.start + QPointF(i * 4 * k, 30 * k * std::sin(i / 6.0)));
    break;
  case MarkTool::text:
    m.text = "Look here: this value is wrong";
    m.fontSize = 32 * k;
    m.textBoxWidth = 360 * k;
    break;
  case MarkTool::highlight:
    m.highlightMode = HighlightMode::marker;
    m.ink = Ink::lemon();
    m.points = {m.start, m.start + QPointF(300 * k, 4 * k)};
    break;
  case MarkTool::step: m.number = index; break;
  case MarkTool::blur:
    m.blurEffect = index == 27 ? BlurEffect::pixelate : BlurEffect::blur;
    m.blurStrength = 16;
    break;
  default: break;
  }
  return m;
}

// A document, its editor stage and canvas, and the frame they paint into.
struct Scene {
  explicit Scene(QSize imageSize)
      : store(settingsDir.filePath("settings.ini")), preferences(store),
        document(screenshotLike(imageSize), preferences), canvas(new CanvasView(document)), stage(canvas),
        frame(viewSize * devicePixelRatio, QImage::Format_ARGB32_Premultiplied) {
    std::mt19937 rng(11);
    QList<Mark> marks;
    for (int i = 0; i < 50; ++i)
      marks.append(randomMark(rng, i, imageSize));
    marks.last().tool = MarkTool::rectangle; // the dragged mark, on top
    document.commit(marks);
    document.setTool(MarkTool::select);
    document.setSelection(marks.last().id);
    stage.resize(viewSize);
    stage.layout()->activate(); // place the canvas without showing the window
    stageCopy = QImage(frame.size(), QImage::Format_RGB32);
    stageCopy.setDevicePixelRatio(devicePixelRatio);
    QPainter stagePainter(&stageCopy);
    stage.render(&stagePainter);
    stage.layout()->activate(); // place the canvas without showing the window
    frame.setDevicePixelRatio(devicePixelRatio);
  }

  // The first frame of a drag, which paints the layer beneath the dragged mark.
  double firstDragFrame() {
    canvas->beginGesture(document.marks().last().start);
    const auto t0 = std::chrono::steady_clock::now();
    dragFrame(0);
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
  }

  // One step of the drag and the repaint it causes.
  void dragFrame(int i) {
    canvas->setMoving(moved(document.marks().last(), 3.0 * (i % 50), 2.0 * (i % 50)));
    QPainter painter(&frame);
    stage.render(&painter);
  }

  // The same frame with the whole image drawn scaled and every mark drawn
  // over it each time, on the same stage copy.
  void naiveFrame(int i) {
    const geom::Rect r = canvas->imageRect();
    QPainter painter(&frame);
    painter.drawImage(QPointF(0, 0), stageCopy);
    painter.fillRect(canvas->imageRect().toQRectF(), Qt::white);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.translate(r.minX(), r.minY());
    painter.scale(canvas->scale(), canvas->scale());
    painter.drawImage(QRectF(QPointF(0, 0), QSizeF(document.pixelSize())), document.image());
    QList<Mark> marks = document.marks();
    marks.last() = moved(marks.last(), 3.0 * (i % 50), 2.0 * (i % 50));
    for (const Mark &m : marks)
      draw(painter, m);
  }

  QTemporaryDir settingsDir;
  SettingsStore store;
  AnnotationPreferences preferences;
  CrelDocument document;
  CanvasView *canvas;
  EditorStageView stage;
  QImage frame;
  QImage stageCopy;
};

std::unique_ptr<Scene> scene5k, scene80mp;
Scene &scene(int which) {
  auto &s = which == 0 ? scene5k : scene80mp;
  if (!s)
    s = std::make_unique<Scene>(which == 0 ? QSize(5120, 2880) : QSize(10000, 8000));
  return *s;
}

double median(std::vector<double> v) {
  if (v.empty())
    return 0;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

std::vector<double> times[2][2]; // [scene][ours, naive]

double firstFrame[2] = {0, 0};

template <bool naive> void BM_DragFrame(benchmark::State &state) {
  Scene &s = scene(int(state.range(0)));
  auto &record = times[state.range(0)][naive ? 1 : 0];
  if (!naive)
    firstFrame[state.range(0)] = s.firstDragFrame();
  // Warm-up frames build whatever the canvas caches.
  for (int i = 0; i < 3; ++i)
    naive ? s.naiveFrame(i) : s.dragFrame(i);
  int i = 0;
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    naive ? s.naiveFrame(++i) : s.dragFrame(++i);
    record.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
  }
  state.SetLabel(state.range(0) == 0 ? "5120x2880" : "10000x8000");
  state.counters["median_ms"] = median(record);
}
BENCHMARK_TEMPLATE(BM_DragFrame, false)->Arg(0)->Arg(1)->Iterations(frames)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_DragFrame, true)->Arg(0)->Arg(1)->Iterations(frames)->Unit(benchmark::kMillisecond);

// Frames of panning the zoomed screenshot, `step` view points at a time
// back and forth; the median frame time.
double panFrames(benchmark::State &state, double step) {
  Scene &s = scene(0);
  s.canvas->endGesture();
  s.canvas->setMoving(std::nullopt);
  s.document.setZoom(1.5);
  std::vector<double> record;
  int i = 0;
  for (auto _ : state) {
    ++i;
    s.document.setPan({step * (i % 7), step * (i % 5)});
    const auto t0 = std::chrono::steady_clock::now();
    QPainter painter(&s.frame);
    s.stage.render(&painter);
    record.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
  }
  state.counters["median_ms"] = median(record);
  return median(record);
}

// A few view points a frame, as a touchpad or a drag pans.
double panFrameMs = 0;
void BM_PanFrame(benchmark::State &state) { panFrameMs = panFrames(state, 1); }
BENCHMARK(BM_PanFrame)->Iterations(frames)->Unit(benchmark::kMillisecond);

// 150 view points a step, past what the canvas keeps painted around the view.
double panFarFrameMs = 0;
void BM_PanFarFrame(benchmark::State &state) { panFarFrameMs = panFrames(state, 150); }
BENCHMARK(BM_PanFarFrame)->Iterations(frames)->Unit(benchmark::kMillisecond);

// Dragging a blur mark beneath most of the others: it and whatever lies
// above it show the move on every frame.
// CREL_BENCH_FRAME and CREL_BENCH_BLUR_FRAME name PNG files for a last frame of each kind.
double blurDragMs = 0;
void BM_BlurDragFrame(benchmark::State &state) {
  Scene &s = scene(0);
  s.document.setZoom(1);
  s.document.setPan({0, 0});
  const auto blur = std::find_if(s.document.marks().begin(), s.document.marks().end(),
                                 [](const Mark &m) { return m.tool == MarkTool::blur; });
  const Mark mark = *blur;
  s.document.setSelection(mark.id);
  s.canvas->beginGesture(mark.start);
  std::vector<double> record;
  int i = 0;
  for (auto _ : state) {
    ++i;
    s.canvas->setMoving(moved(mark, 3.0 * i, 2.0 * i));
    const auto t0 = std::chrono::steady_clock::now();
    QPainter painter(&s.frame);
    s.stage.render(&painter);
    record.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
  }
  if (qEnvironmentVariableIsSet("CREL_BENCH_BLUR_FRAME"))
    s.frame.save(qEnvironmentVariable("CREL_BENCH_BLUR_FRAME"));
  s.canvas->endGesture();
  s.canvas->setMoving(std::nullopt);
  blurDragMs = median(record);
  state.counters["median_ms"] = blurDragMs;
}
BENCHMARK(BM_BlurDragFrame)->Iterations(frames)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv) {
  crel::bench::useHeadlessQt();
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (qEnvironmentVariableIsSet("CREL_BENCH_FRAME") && scene5k) {
    scene5k->dragFrame(7);
    scene5k->frame.save(qEnvironmentVariable("CREL_BENCH_FRAME"));
  }
  const double ours5k = median(times[0][0]), ours80 = median(times[1][0]);
  const double naive5k = median(times[0][1]);
  if (!times[0][0].empty())
    crel::bench::printGoal("drag_frame_5k_ms", ours5k, 8);
  if (!times[1][0].empty())
    crel::bench::printGoal("drag_frame_80mp_ms", ours80, 16);
  if (naive5k > 0 && ours5k > 0)
    crel::bench::printGoal("drag_frame_vs_naive", ours5k / naive5k, 1); // no target is set: at least as fast
  if (!times[1][1].empty())
    std::printf("INFO drag_frame_80mp_naive_ms %.3f\n", median(times[1][1]));
  std::printf("INFO drag_first_frame_5k_ms %.3f (paints the layer beneath the dragged mark)\n", firstFrame[0]);
  std::printf("INFO drag_first_frame_80mp_ms %.3f\n", firstFrame[1]);
  if (panFrameMs > 0)
    crel::bench::printGoal("pan_frame_5k_ms", panFrameMs, 8);
  std::printf("INFO pan_far_frame_5k_ms %.3f (steps of 150 view points: pixels shifted, strips painted)\n",
              panFarFrameMs);
  if (blurDragMs > 0)
    crel::bench::printGoal("blur_drag_frame_5k_ms", blurDragMs, 12);
  scene5k.reset();
  scene80mp.reset();
  return 0;
}
