#pragma once

#include "document/RecognizedText.h"
#include "platform/text/TextRecognizer.h"

#include <QImage>
#include <QObject>

#include <functional>
#include <memory>
#include <vector>

namespace crel {

// Turns a recogniser's lines into recognised words, and runs that in the
// background for a document.
class TextRecognition {
public:
  // What a background recognition hands back.
  struct Outcome {
    RecognizedText text;
    bool failed = false;
    QString errorDescription;

    // The status to show once the recognition has ended.
    QString statusText() const;
  };

  // Reading order by the lines' vertical centres (no tolerance; exact ties by
  // left edge); a line's index in that order is its words' `line`. Lines
  // below 0.3 confidence, and blank words, words without a box or with an
  // empty one, are dropped and leave gaps in the numbering.
  static RecognizedText recognizedText(const std::vector<TextObservation> &observations);

  // Synchronous; throws TextRecognitionError.
  static RecognizedText recognize(TextRecognizer &recognizer, const QImage &image);

  // Recognises `image` on the shared serial recognition thread and calls
  // `done` on the main thread. Destroying `receiver` cancels the recognition.
  static void recognizeInBackground(std::shared_ptr<TextRecognizer> recognizer, const QImage &image, QObject *receiver,
                                    std::function<void(Outcome)> done);

  // The status while a recognition runs.
  static QString runningStatus();
};

} // namespace crel
