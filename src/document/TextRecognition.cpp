#include "TextRecognition.h"

#include "platform/base/Translate.h"

#include <algorithm>

namespace crel {

namespace {

bool isBlank(const QString &text) {
  return std::all_of(text.begin(), text.end(), [](QChar c) { return c.isSpace(); });
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
    // Each word keeps its own box: a word of combining marks alone or any
    // other odd spelling must not move the boxes of the words after it.
    for (qsizetype order = 0; order < observation.words.size(); ++order) {
      const TextObservation::Word &word = observation.words[order];
      const geom::Rect &rect = word.rect;
      if (isBlank(word.text) || rect.isNull() || !(rect.width() > 0) || !(rect.height() > 0))
        continue;
      result.words.push_back({word.text, rect, int(line), int(order)});
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
