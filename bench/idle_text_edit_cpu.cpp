// Processor time of an editor with an inline text edit of 100 000
// characters open and left alone for 10 s, as a percentage of one core: the
// caret blinks, and that should cost nothing measurable.
//
// Run plainly, it starts the X test bed (openbox, one 1920x1200 screen) and
// runs itself inside, where it presents a real editor window, opens the text
// edit with the caret in it, waits for the start-up work to end and reads its
// own processor time.

#include "BenchEditor.h"
#include "BenchSupport.h"

#include "canvas/CanvasView.h"
#include "canvas/InlineTextEditor.h"
#include "canvas/InlineTextView.h"
#include "document/CrelDocument.h"
#include "editor/EditorView.h"
#include "editor/EditorWindow.h"

#include <QApplication>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <ctime>
#include <optional>

using namespace crel;

namespace {

constexpr double idleSeconds = 10, targetPercent = 1;
constexpr int textLength = 100'000;
std::optional<double> measuredPercent;

double processSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

void BM_IdleTextEdit(benchmark::State &state) {
  for (auto _ : state) {
    crel::bench::BenchEditor bench;
    EditorController &editor = bench.editor;
    editor.present();
    if (!crel::bench::waitFor([&] { return editor.window()->isActiveWindow(); })) {
      state.SkipWithError("the editor window never became active");
      return;
    }
    Mark note;
    note.id = QUuid::createUuid();
    note.tool = MarkTool::text;
    note.start = note.end = QPointF(120, 160);
    note.ink = Ink::palette().first();
    note.width = 4;
    note.fontSize = 24;
    note.textBoxWidth = 900;
    note.style = AnnotationStyle::formal;
    const QString sentence = QStringLiteral("A long note typed over the screenshot, word after word. ");
    note.text = sentence.repeated(textLength / int(sentence.size()) + 1).left(textLength);
    editor.document().commit({note});
    CanvasView &canvas = *editor.view()->canvas();
    canvas.inlineTextEditor().begin(note.start, note);
    if (!crel::bench::waitFor(
            [&] { return canvas.inlineTextEditor().view() && canvas.inlineTextEditor().view()->hasFocus(); })) {
      state.SkipWithError("the text edit never took the keyboard");
      return;
    }
    crel::bench::pumpFor(2000); // the first paints end
    const double start = processSeconds();
    crel::bench::pumpFor(int(idleSeconds * 1000));
    const double seconds = processSeconds() - start;
    state.SetIterationTime(seconds);
    measuredPercent = 100 * seconds / idleSeconds;
  }
}

BENCHMARK(BM_IdleTextEdit)->Unit(benchmark::kMillisecond)->Iterations(1)->UseManualTime();

int inner(int argc, char **argv) {
  crel::bench::useHeadlessQt(); // the bundle's fonts; the test bed has chosen the platform
  QApplication app(argc, argv);
  return crel::bench::runAndReportMeasured(argc, argv, measuredPercent);
}

int outer() { return crel::bench::goalFromTestbed(CREL_TESTBED_SCRIPT, "idle_text_edit_cpu_pct", targetPercent); }

} // namespace

int main(int argc, char **argv) { return crel::bench::insideTestbed(argc, argv, inner, outer); }
