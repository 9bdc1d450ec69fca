// What a long text costs the inline text editor of a real editor window
// (1600x1000 screenshot, a 320-pixel box): a paste of N
// characters with the repaint it causes, each keystroke after it, and the
// autosave that follows a pause in typing. The editor's paste bound is chosen
// from these.
//
// Arguments: N; the kind of text: 0 prose, 1 one word (wrapped anywhere),
// 2 short lines, 3 Japanese, 4 emoji, 5 Arabic; the font size.

#include "BenchEditor.h"
#include "BenchSupport.h"

#include "canvas/CanvasView.h"
#include "canvas/InlineTextEditor.h"
#include "canvas/InlineTextView.h"
#include "document/CrelDocument.h"
#include "editor/EditorView.h"
#include "platform/clipboard/Pasteboard.h"

#include <QApplication>
#include <QKeyEvent>

#include <benchmark/benchmark.h>

#include <chrono>

using namespace crel;

namespace {

QString textOf(int length, int kind) {
  const QString pieces[] = {
      QStringLiteral("A long note pasted over the screenshot, word after word. "),
      QStringLiteral("x"),
      QStringLiteral("short line\n"),
      QStringLiteral("\u65e5\u672c\u8a9e\u306e\u6587\u7ae0\u3002"),
      QStringLiteral("\U0001F600\U0001F44D\U0001F3FD "),
      QStringLiteral("\u0645\u0631\u062d\u0628\u0627 \u0628\u0627\u0644\u0639\u0627\u0644\u0645 "),
  };
  const QString &piece = pieces[kind];
  return piece.repeated(length / int(piece.size()) + 1).left(length);
}

double sinceMs(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

void send(QWidget *to, int key, Qt::KeyboardModifiers modifiers, const QString &text = {}) {
  QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
  QApplication::sendEvent(to, &press);
}

void BM_TextPaste(benchmark::State &state) {
  const int length = int(state.range(0));
  const int kind = int(state.range(1));
  const int fontSize = int(state.range(2));
  crel::bench::BenchEditor bench;
  EditorController &editor = bench.editor;
  editor.present();
  crel::bench::pumpFor(500);
  FakePasteboard board;
  board.text = textOf(length, kind);
  Pasteboard::overrideGeneral(&board);
  CanvasView &canvas = *editor.view()->canvas();
  editor.document().setFontSize(fontSize);
  editor.document().prepareAutosave(bench.dir.path(), QStringLiteral("bench"));

  double pasteMs = 0, keyMs = 0, autosaveMs = 0;
  int keys = 0;
  qsizetype kept = 0;
  for (auto _ : state) {
    canvas.inlineTextEditor().begin({120, 160});
    InlineTextView *view = canvas.inlineTextEditor().view();
    QCoreApplication::processEvents();
    auto start = std::chrono::steady_clock::now();
    send(view, Qt::Key_V, Qt::ControlModifier);
    QCoreApplication::processEvents(); // the repaint
    pasteMs += sinceMs(start);
    kept = view->text().size();
    for (int i = 0; i < 10; ++i) {
      start = std::chrono::steady_clock::now();
      if (i % 2)
        send(view, Qt::Key_Backspace, {});
      else
        send(view, Qt::Key_A, {}, QStringLiteral("a"));
      QCoreApplication::processEvents();
      keyMs += sinceMs(start);
      ++keys;
    }
    start = std::chrono::steady_clock::now();
    try {
      editor.document().flushAutosave();
      autosaveMs += sinceMs(start);
    } catch (const std::exception &) {
      autosaveMs = -1; // the canvas grew past what an export may be
    }
    canvas.inlineTextEditor().finish(true);
    QCoreApplication::processEvents();
  }
  Pasteboard::overrideGeneral(nullptr);
  const double n = double(state.iterations());
  state.counters["paste_ms"] = pasteMs / n;
  state.counters["key_ms"] = keyMs / keys;
  state.counters["autosave_ms"] = autosaveMs / n;
  state.counters["kept"] = double(kept);
}

BENCHMARK(BM_TextPaste)
    ->ArgsProduct({{0, 1'000, 2'000, 20'000'000}, {0, 1, 2, 3, 4, 5}, {24, 1024}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

} // namespace

int main(int argc, char **argv) {
  crel::bench::useHeadlessQt();
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
