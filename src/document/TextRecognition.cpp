#include "TextRecognition.h"

#include "platform/Translate.h"

#include <QTextBoundaryFinder>

#include <algorithm>

namespace crel {

namespace {

bool isWhitespaceCluster(QStringView cluster) {
  const char32_t first = cluster.isEmpty() ? 0 : QStringView(cluster).toUcs4().value(0);
  return QChar::isSpace(first);
}

// Maximal runs of grapheme clusters none of which is whitespace.
QStringList whitespaceFreeRuns(const QString &text) {
  QStringList runs;
  QString run;
  QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
  qsizetype start = 0;
  for (qsizetype end = finder.toNextBoundary(); end != -1; end = finder.toNextBoundary()) {
    const QStringView cluster = QStringView(text).mid(start, end - start);
    if (isWhitespaceCluster(cluster)) {
      if (!run.isEmpty())
        runs.push_back(run);
      run.clear();
    } else {
      run += cluster;
    }
    start = end;
  }
  if (!run.isEmpty())
    runs.push_back(run);
  return runs;
}

} // namespace

QString TextRecognition::Outcome::statusText() const {
  if (failed)
    return tr("Text recognition failed: %1").arg(errorDescription);
  return text.words.isEmpty() ? tr("No text found. Use Marker or Area to highlight manually.")
                              : tr("Text ready. Click a word or drag across lines.");
}

RecognizedText TextRecognition::recognizedText(const std::vector<TextObservation> &observations) {
  std::vector<const TextObservation *> sorted;
  for (const TextObservation &observation : observations)
    sorted.push_back(&observation);
  std::stable_sort(sorted.begin(), sorted.end(), [](const TextObservation *a, const TextObservation *b) {
    if (a->bounds.midY() != b->bounds.midY())
      return a->bounds.midY() < b->bounds.midY();
    return a->bounds.minX() < b->bounds.minX();
  });
  RecognizedText result;
  for (std::size_t line = 0; line < sorted.size(); ++line) {
    const TextObservation &observation = *sorted[line];
    if (!(observation.confidence >= 0.3f))
      continue;
    const QStringList runs = whitespaceFreeRuns(observation.text);
    for (qsizetype order = 0; order < runs.size(); ++order) {
      if (order >= observation.wordRects.size())
        break;
      const geom::Rect &rect = observation.wordRects[order];
      if (rect.isNull() || !(rect.width() > 0) || !(rect.height() > 0))
        continue;
      result.words.push_back({runs[order], rect, int(line), int(order)});
    }
  }
  return result;
}

RecognizedText TextRecognition::recognize(TextRecognizer &recognizer, const QImage &image) {
  return recognizedText(recognizer.recognize(image));
}

void TextRecognition::recognizeInBackground(std::shared_ptr<TextRecognizer> recognizer, const QImage &image,
                                            QObject *receiver, std::function<void(Outcome)> done) {
  std::function<Outcome(const TextRecognitionOutcome &)> transform = [](const TextRecognitionOutcome &outcome) {
    Outcome result;
    result.failed = outcome.failed;
    result.errorDescription = outcome.errorDescription;
    if (!outcome.failed)
      result.text = recognizedText(outcome.observations);
    return result;
  };
  TextRecognizer::recognizeInBackground<Outcome>(std::move(recognizer), image, receiver, std::move(transform),
                                                 std::move(done));
}

QString TextRecognition::runningStatus() { return tr("Finding text on this computer…"); }

} // namespace crel
