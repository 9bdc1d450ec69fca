// Export of an annotated 5120x2880 screenshot (20 marks, 3 of them blurs):
// the document's flatten and PNG against the same flatten and QImage::save
// with Qt's defaults, in one run. Blur patches are cached after the first
// export, as they are for every autosave after an edit elsewhere.

#include "BenchSupport.h"

#include "SyntheticImages.h"

#include "document/AnnotationPreferences.h"
#include "document/CrelDocument.h"

#include "platform/files/SettingsStore.h"
#include "platform/image/PngEncoder.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QImage>
#include <QTemporaryDir>
#include <QThread>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>

namespace {

constexpr int width = 5120;
constexpr int height = 2880;

const QImage &source(const std::string &kind) {
  static const QImage ui = crel::bench::uiScreenshot(width, height);
  static const QImage photo = crel::bench::photo(width, height);
  return kind == "ui" ? ui : photo;
}

crel::Mark annotation(int i) {
  using namespace crel;
  static const MarkTool tools[] = {MarkTool::arrow,     MarkTool::rectangle, MarkTool::ellipse, MarkTool::text,
                                   MarkTool::highlight, MarkTool::step,      MarkTool::line};
  Mark m;
  m.id = QUuid::createUuid();
  m.tool = i % 7 == 6 ? MarkTool::blur : tools[i % 7];
  const double x = 200 + (i * 613) % 4400, y = 150 + (i * 379) % 2400;
  m.start = {x, y};
  m.end = {x + 420, y + 260};
  m.ink = Ink::palette()[i % 6];
  m.width = m.tool == MarkTool::step ? 64 : 12;
  m.text = "Annotation";
  m.fontSize = 40;
  m.textBoxWidth = 400;
  m.number = i;
  return m;
}

// One document per kind, annotated with 20 marks of which 3 are blurs.
crel::CrelDocument &document(const std::string &kind) {
  static QTemporaryDir dir;
  static crel::SettingsStore store(dir.filePath("settings.ini"));
  static crel::AnnotationPreferences preferences(store);
  static std::map<std::string, std::unique_ptr<crel::CrelDocument>> documents;
  auto &doc = documents[kind];
  if (!doc) {
    doc = std::make_unique<crel::CrelDocument>(source(kind), preferences);
    QList<crel::Mark> marks;
    for (int i = 0; i < 20; ++i)
      marks.append(annotation(i));
    doc->commit(marks);
  }
  return *doc;
}

QImage flatten(crel::CrelDocument &doc) { return doc.renderBitmap(doc.expandedBounds(doc.marks())); }

QByteArray qtPng(const QImage &image) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return bytes;
}

void exportOurs(benchmark::State &state, const std::string &kind) {
  crel::CrelDocument &doc = document(kind);
  qsizetype size = 0;
  for (auto _ : state) {
    const QByteArray png = doc.renderPNG();
    size = png.size();
    benchmark::DoNotOptimize(png.constData());
  }
  state.counters["bytes"] = double(size);
}

void exportQt(benchmark::State &state, const std::string &kind) {
  crel::CrelDocument &doc = document(kind);
  qsizetype size = 0;
  for (auto _ : state) {
    const QByteArray png = qtPng(flatten(doc));
    size = png.size();
    benchmark::DoNotOptimize(png.constData());
  }
  state.counters["bytes"] = double(size);
}

// Keeps the median real time and the size of every benchmark for the GOAL lines.
class GoalReporter : public benchmark::ConsoleReporter {
public:
  struct Result {
    double milliseconds = 0; // every benchmark here reports in milliseconds
    double bytes = 0;
  };
  std::map<std::string, Result> results;
  // No colour codes: they would stick to the GOAL lines bench/run-all greps for.
  GoalReporter() : ConsoleReporter(OO_Tabular) {}

  void ReportRuns(const std::vector<Run> &runs) override {
    for (const Run &run : runs) {
      if (run.run_type != Run::RT_Aggregate || run.aggregate_name != "median")
        continue;
      Result &r = results[run.run_name.function_name];
      r.milliseconds = run.GetAdjustedRealTime();
      const auto bytes = run.counters.find("bytes");
      if (bytes != run.counters.end())
        r.bytes = bytes->second.value;
    }
    ConsoleReporter::ReportRuns(runs);
  }
};

// A fast encoder is worth nothing if it is wrong: both images must decode to
// the pixels they were made from.
bool roundTrips(const std::string &kind) {
  const QImage &image = source(kind);
  const QImage decoded = QImage::fromData(crel::PngEncoder::encode(image), "PNG");
  return !decoded.isNull() && decoded.convertToFormat(QImage::Format_ARGB32_Premultiplied) == image;
}

} // namespace

int main(int argc, char **argv) {
  crel::bench::useHeadlessQt();
  QGuiApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  for (const std::string kind : {"ui", "photo"}) {
    if (!roundTrips(kind)) {
      std::fprintf(stderr, "crel_export_bench: our PNG of the %s image does not decode to its pixels\n", kind.c_str());
      return 1;
    }
    document(kind).renderPNG(); // fills the blur cache
    benchmark::RegisterBenchmark(("export_ours/" + kind).c_str(), exportOurs, kind)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->Repetitions(7)
        ->ReportAggregatesOnly(true);
    benchmark::RegisterBenchmark(("export_qt/" + kind).c_str(), exportQt, kind)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->Iterations(1)
        ->Repetitions(3)
        ->ReportAggregatesOnly(true);
  }
  GoalReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  std::printf("INFO export threads %d, image %dx%d\n", QThread::idealThreadCount(), width, height);
  for (const char *kind : {"ui", "photo"}) {
    const auto ours = reporter.results.find(std::string("export_ours/") + kind);
    const auto qt = reporter.results.find(std::string("export_qt/") + kind);
    if (ours == reporter.results.end() || qt == reporter.results.end())
      continue;
    std::printf("INFO export %s: ours %.1f ms %.0f bytes, Qt %.1f ms %.0f bytes\n", kind, ours->second.milliseconds,
                ours->second.bytes, qt->second.milliseconds, qt->second.bytes);
    crel::bench::printGoal((std::string("export_vs_qt_") + kind).c_str(),
                           ours->second.milliseconds / qt->second.milliseconds, 0.10);
    crel::bench::printGoal((std::string("export_size_vs_qt_") + kind).c_str(), ours->second.bytes / qt->second.bytes,
                           1.30);
  }
  return 0;
}
