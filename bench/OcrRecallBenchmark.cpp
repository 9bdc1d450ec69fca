// Recall on real documentation drawn as screenshots (see OcrCorpus): ours,
// as the application runs it, against the `tesseract` command line with the
// same engine settings and languages, page by page. Recall = words drawn and visible that a recogniser returned
// exactly, each found token used once. CREL_OCR_CORPUS_DIR=<folder> keeps the pages and both readings there.

#include "BenchSupport.h"
#include "OcrCorpus.h"

#include "document/TextRecognition.h"
#include "platform/text/ProcessTextRecognizer.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QGuiApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>

namespace {

struct Reading {
  QStringList ours, cli;
};

std::vector<crel::bench::OcrPage> gPages;
std::vector<Reading> gReadings;
QString gFolder;
bool gCliRan = false;
const crel::TesseractTextRecognizer::Options gOptions = crel::TesseractTextRecognizer::Options::forUser();

QString pagePath(const crel::bench::OcrPage &page) { return gFolder + '/' + page.name + ".png"; }

void BM_RecallOurs(benchmark::State &state) {
  crel::ProcessTextRecognizer recognizer(gOptions);
  for (auto _ : state) {
    for (std::size_t i = 0; i < gPages.size(); ++i) {
      gReadings[i].ours.clear();
      for (const auto &word : crel::TextRecognition::recognize(recognizer, gPages[i].image).words)
        gReadings[i].ours.push_back(word.text);
    }
  }
}
BENCHMARK(BM_RecallOurs)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

void BM_RecallCommandLine(benchmark::State &state) {
  const QString program = QStandardPaths::findExecutable("tesseract");
  if (program.isEmpty()) {
    state.SkipWithError("the tesseract command is not installed");
    return;
  }
  for (auto _ : state) {
    // One process per page, all at once, each on one thread: the readings
    // do not depend on the thread count.
    std::vector<std::unique_ptr<QProcess>> processes;
    for (const auto &page : gPages) {
      auto process = std::make_unique<QProcess>();
      QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
      environment.insert("OMP_THREAD_LIMIT", "1");
      process->setProcessEnvironment(environment);
      process->start(program, QStringList{pagePath(page), "stdout"} + crel::bench::commandLineArguments(gOptions));
      processes.push_back(std::move(process));
    }
    for (std::size_t i = 0; i < processes.size(); ++i) {
      processes[i]->waitForFinished(-1);
      const QString out = QString::fromUtf8(processes[i]->readAllStandardOutput());
      gReadings[i].cli = out.split(QRegularExpression("\\s+"), Qt::SkipEmptyParts);
    }
  }
  gCliRan = true;
}
BENCHMARK(BM_RecallCommandLine)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

void keep(const QString &path, const QStringList &words) {
  QFile file(path);
  if (file.open(QIODevice::WriteOnly))
    file.write(words.join('\n').toUtf8() + '\n');
}

} // namespace

int main(int argc, char **argv) {
  crel::bench::useHeadlessQt();
  QGuiApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  QTemporaryDir temporary;
  gFolder = qEnvironmentVariable("CREL_OCR_CORPUS_DIR", temporary.path());
  QDir().mkpath(gFolder);
  gPages = crel::bench::documentationPages();
  gPages.push_back(crel::bench::busyDesktop());
  gReadings.resize(gPages.size());
  for (const auto &page : gPages) {
    if (!page.image.save(pagePath(page))) {
      std::fprintf(stderr, "cannot write %s\n", qPrintable(pagePath(page)));
      return 1;
    }
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::printf("languages: %s\n", qPrintable(gOptions.language));
  double lowestRatio = 1e9, composite = 0;
  for (std::size_t i = 0; i < gPages.size(); ++i) {
    const auto &page = gPages[i];
    const double truth = std::max<double>(1, double(page.words.size()));
    const double ours = crel::bench::matchedWords(gReadings[i].ours, page.words) / truth;
    const double cli = crel::bench::matchedWords(gReadings[i].cli, page.words) / truth;
    std::printf("recall %-16s words %5lld  ours %.3f  command line %.3f\n", qPrintable(page.name),
                static_cast<long long>(page.words.size()), ours, cli);
    lowestRatio = std::min(lowestRatio, cli > 0 ? ours / cli : 1.0);
    if (page.name.startsWith("desktop"))
      composite = ours;
    if (qEnvironmentVariableIsSet("CREL_OCR_CORPUS_DIR")) {
      keep(gFolder + '/' + page.name + ".truth.txt", page.words);
      keep(gFolder + '/' + page.name + ".ours.txt", gReadings[i].ours);
      keep(gFolder + '/' + page.name + ".cli.txt", gReadings[i].cli);
    }
  }
  if (!gCliRan)
    return 0;
  crel::bench::printGoal("ocr_recall_min_vs_cli", lowestRatio, 1.00, lowestRatio >= 1.00);
  crel::bench::printGoal("ocr_recall_composite", composite, 0.95, composite >= 0.95);
  return 0;
}
