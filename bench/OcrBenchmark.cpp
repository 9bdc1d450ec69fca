// Recognition of a full 2880x1800 screenshot-like page: ours (as the
// application runs it: a helper process per page, strips on parallel
// engines, dark areas inverted) against the `tesseract` command line on the
// same image, in one run, both with the same engine settings and the
// languages the user's locale chooses.
// Correct words = recognised tokens that match a word drawn on the page
// (each drawn word counted once).

#include "BenchSupport.h"
#include "OcrCorpus.h"

#include "document/TextRecognition.h"
#include "platform/text/ProcessTextRecognizer.h"

#include <benchmark/benchmark.h>

#include <QElapsedTimer>
#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <random>

namespace {

const char *const kVocabulary[] = {
    "project",  "release",  "update",  "window",   "screen",   "capture",   "settings", "account", "network",
    "storage",  "version",  "preview", "history",  "folder",   "message",   "review",   "change",  "status",
    "report",   "summary",  "server",  "client",   "request",  "response",  "timeline", "budget",  "meeting",
    "schedule", "planning", "design",  "feature",  "support",  "customer",  "product",  "market",  "quarter",
    "weekly",   "monthly",  "daily",   "team",     "member",   "owner",     "editor",   "export",  "import",
    "search",   "filter",   "sort",    "archive",  "delete",   "restore",   "backup",   "upload",  "download",
    "share",    "comment",  "reply",   "forward",  "draft",    "publish",   "approve",  "reject",  "pending",
    "complete", "progress", "blocked", "priority", "label",    "milestone", "branch",   "commit",  "merge",
    "build",    "test",     "deploy",  "monitor",  "alert",    "error",     "warning",  "notice",  "guide",
    "manual",   "chapter",  "section", "page",     "table",    "figure",    "chart",    "value",   "total",
    "average",  "number",   "amount",  "price",    "order",    "invoice",   "payment",  "receipt", "address",
    "contact",  "phone",    "email",   "calendar", "event",    "reminder",  "task",     "note",    "idea",
    "question", "answer",   "topic",   "thread",   "channel",  "profile",   "picture",  "image",   "video",
    "audio",    "document", "sheet",   "slide",    "layer",    "color",     "shape",    "border",  "margin",
    "green",    "orange",   "yellow",  "purple",   "silver",   "morning",   "evening",  "weekend", "holiday",
    "travel",   "office",   "garden",  "river",    "mountain", "forest",    "harbor",   "bridge",  "station",
};

struct Page {
  QImage image;
  QStringList words;
};

class PageWriter {
public:
  PageWriter(QImage &image, QStringList &words) : painter_(&image), words_(words) {
    painter_.setRenderHint(QPainter::TextAntialiasing);
  }
  // Wraps random vocabulary words into the given box; returns the next y.
  double paragraph(const QFont &font, QColor color, double x, double y, double width, int lines, double lineHeight) {
    painter_.setFont(font);
    painter_.setPen(color);
    const QFontMetricsF metrics(font);
    for (int line = 0; line < lines; ++line) {
      double cx = x;
      for (;;) {
        const QString word = next();
        const double advance = metrics.horizontalAdvance(word);
        if (cx + advance > x + width)
          break;
        text(QPointF(cx, y), word);
        cx += advance + metrics.horizontalAdvance(' ');
      }
      y += lineHeight;
    }
    return y;
  }
  void text(QPointF baseline, const QString &words) {
    painter_.drawText(baseline, words);
    words_ += words.split(' ', Qt::SkipEmptyParts);
  }
  void fill(const QRectF &r, QColor c) { painter_.fillRect(r, c); }
  void label(const QFont &font, QColor color, QPointF baseline, const QString &words) {
    painter_.setFont(font);
    painter_.setPen(color);
    text(baseline, words);
  }
  QString next() {
    std::uniform_int_distribution<std::size_t> pick(0, std::size(kVocabulary) - 1);
    return QString::fromLatin1(kVocabulary[pick(random_)]);
  }

private:
  QPainter painter_;
  QStringList &words_;
  std::mt19937 random_{20260101};
};

QFont font(const char *family, int pixels, bool bold = false) {
  QFont f(QString::fromLatin1(family));
  f.setPixelSize(pixels);
  f.setBold(bold);
  return f;
}

Page makePage() {
  Page page;
  page.image = QImage(2880, 1800, QImage::Format_ARGB32_Premultiplied);
  page.image.fill(Qt::white);
  PageWriter w(page.image, page.words);
  const QFont ui = font("DejaVu Sans", 26), small = font("DejaVu Sans", 22), heading = font("DejaVu Sans", 44, true);
  const QFont mono = font("DejaVu Sans Mono", 24);
  // Title bar.
  w.fill(QRectF(0, 0, 2880, 72), QColor(0x2b, 0x2b, 0x2b));
  w.label(ui, QColor(0xe8, 0xe8, 0xe8), QPointF(1100, 46), "Release planning notes for the spring update");
  // Sidebar with one selected row.
  w.fill(QRectF(0, 72, 560, 1728), QColor(0xf2, 0xf2, 0xf5));
  for (int i = 0; i < 24; ++i) {
    const double y = 140 + i * 64;
    if (i == 3)
      w.fill(QRectF(16, y - 40, 528, 56), QColor(0x2f, 0x6f, 0xdf));
    w.label(ui, i == 3 ? Qt::white : QColor(0x22, 0x22, 0x22), QPointF(48, y), w.next() + ' ' + w.next());
  }
  // Toolbar buttons.
  for (int i = 0; i < 6; ++i) {
    const QRectF button(600 + i * 220, 96, 196, 56);
    w.fill(button, QColor(0xe4, 0xe6, 0xea));
    w.label(small, QColor(0x20, 0x20, 0x20), QPointF(button.x() + 24, 132), w.next());
  }
  // Content: a heading, then two columns of body text with grey captions.
  w.label(heading, Qt::black, QPointF(600, 236), "Weekly status summary");
  for (int column = 0; column < 2; ++column) {
    const double x = 600 + column * 1140;
    double y = 310;
    for (int block = 0; block < 3; ++block) {
      y = w.paragraph(ui, QColor(0x1a, 0x1a, 0x1a), x, y, 1060, 6, 40);
      y = w.paragraph(small, QColor(0x6b, 0x6b, 0x6b), x, y + 6, 1060, 1, 52);
    }
  }
  // A dark terminal panel.
  w.fill(QRectF(600, 1300, 2240, 460), QColor(0x1e, 0x1e, 0x1e));
  w.paragraph(mono, QColor(0xd4, 0xd4, 0xd4), 640, 1352, 2160, 11, 38);
  return page;
}

Page gPage;
QString gPagePath;
double gOursMs = 0, gCliMs = 0;
int gOursCorrect = 0, gCliCorrect = 0;

const crel::TesseractTextRecognizer::Options gOptions = crel::TesseractTextRecognizer::Options::forUser();

void BM_OcrOurs(benchmark::State &state) {
  // Every run starts its helper and its engines, as every page does.
  crel::ProcessTextRecognizer recognizer(gOptions);
  QElapsedTimer cold;
  cold.start();
  crel::TextRecognition::recognize(recognizer, gPage.image); // the system's caches fill here
  state.counters["cold_ms"] = double(cold.elapsed());
  double total = 0;
  int runs = 0;
  for (auto _ : state) {
    QElapsedTimer timer;
    timer.start();
    const crel::RecognizedText text = crel::TextRecognition::recognize(recognizer, gPage.image);
    total += double(timer.nsecsElapsed()) / 1e6;
    ++runs;
    QStringList found;
    for (const auto &word : text.words)
      found.push_back(word.text);
    gOursCorrect = crel::bench::matchedWords(found, gPage.words);
  }
  gOursMs = total / runs;
  state.counters["correct_words"] = gOursCorrect;
  state.counters["drawn_words"] = double(gPage.words.size());
}
BENCHMARK(BM_OcrOurs)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void BM_OcrCommandLine(benchmark::State &state) {
  const QString program = QStandardPaths::findExecutable("tesseract");
  if (program.isEmpty()) {
    state.SkipWithError("the tesseract command is not installed");
    return;
  }
  double total = 0;
  int runs = 0;
  for (auto _ : state) {
    QElapsedTimer timer;
    timer.start();
    QProcess process;
    process.start(program, QStringList{gPagePath, "stdout"} + crel::bench::commandLineArguments(gOptions));
    process.waitForFinished(-1);
    total += double(timer.nsecsElapsed()) / 1e6;
    ++runs;
    const QString out = QString::fromUtf8(process.readAllStandardOutput());
    gCliCorrect = crel::bench::matchedWords(out.split(QRegularExpression("\\s+"), Qt::SkipEmptyParts), gPage.words);
  }
  gCliMs = total / runs;
  state.counters["correct_words"] = gCliCorrect;
}
BENCHMARK(BM_OcrCommandLine)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();

} // namespace

int main(int argc, char **argv) {
  crel::bench::useHeadlessQt();
  QGuiApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  QTemporaryDir dir;
  gPage = makePage();
  gPagePath = dir.filePath("page.png");
  if (!gPage.image.save(gPagePath)) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(gPagePath));
    return 1;
  }
  if (qEnvironmentVariableIsSet("CREL_OCR_BENCH_PAGE"))
    gPage.image.save(qEnvironmentVariable("CREL_OCR_BENCH_PAGE"));
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::printf("languages: %s\n", qPrintable(gOptions.language));
  if (gOursMs > 0 && gCliMs > 0) {
    const double time = gOursMs / gCliMs;
    const double words = gCliCorrect > 0 ? double(gOursCorrect) / gCliCorrect : (gOursCorrect > 0 ? 99.0 : 0.0);
    std::printf("ocr: ours %.0f ms, %d correct words; tesseract command line %.0f ms, %d correct words; %lld drawn\n",
                gOursMs, gOursCorrect, gCliMs, gCliCorrect, static_cast<long long>(gPage.words.size()));
    crel::bench::printGoal("ocr_vs_cli", time, 0.40, time <= 0.40);
    crel::bench::printGoal("ocr_words_vs_cli", words, 1.00, words >= 1.00);
  }
  return 0;
}
