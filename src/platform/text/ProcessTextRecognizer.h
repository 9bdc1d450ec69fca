#pragma once

#include "platform/text/TesseractTextRecognizer.h"
#include "platform/text/TextRecognizer.h"

namespace crel {

// Text recognition in a helper process, crel-text-recognizer, started for
// each page. Tesseract has steps that run for minutes on a dense page without
// a point where it can be told to stop; a process can be ended at once.
// Cancelling kills the helper, and so does the end of this process, however
// it ends.
class ProcessTextRecognizer final : public TextRecognizer {
public:
  explicit ProcessTextRecognizer(TesseractTextRecognizer::Options options);

  using TextRecognizer::recognize;
  std::vector<TextObservation> recognize(const QImage &image, const std::atomic<bool> &cancelled) override;

  // Where the helper is; empty when it cannot be found.
  static QString helperPath();

private:
  TesseractTextRecognizer::Options options_;
};

} // namespace crel
