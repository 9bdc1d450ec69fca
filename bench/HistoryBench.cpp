// Cost of one commit and one undo on a document with 1,000 marks. Snapshots
// share the mark list, so both should stay in the microseconds.
#include "BenchSupport.h"

#include "document/AnnotationPreferences.h"
#include "document/CrelDocument.h"

#include "platform/files/SettingsStore.h"

#include <QGuiApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

using namespace crel;

namespace {

QList<Mark> manyMarks(int n) {
  QList<Mark> marks;
  for (int i = 0; i < n; ++i) {
    Mark m;
    m.id = QUuid::createUuid();
    m.tool = MarkTool::rectangle;
    m.start = {double(i), double(i)};
    m.end = {double(i) + 40, double(i) + 30};
    m.points = {{1, 2}, {3, 4}, {5, 6}};
    m.ink = Ink::palette().first();
    m.width = 12;
    marks.append(m);
  }
  return marks;
}

void BM_CommitAndUndo1000(benchmark::State &state) {
  QTemporaryDir dir;
  SettingsStore store(dir.filePath("s.ini"));
  AnnotationPreferences prefs(store);
  QImage image(64, 64, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::white);
  CrelDocument doc(image, prefs);
  doc.commit(manyMarks(1000));
  for (auto _ : state) {
    QList<Mark> next = doc.marks();
    next[500].start.rx() += 1;
    doc.commit(next);
    doc.undo();
    doc.redo();
  }
  state.SetLabel("commit + undo + redo, 1000 marks, history of 100");
}
BENCHMARK(BM_CommitAndUndo1000)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv) {
  crel::bench::useHeadlessQt();
  QGuiApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
