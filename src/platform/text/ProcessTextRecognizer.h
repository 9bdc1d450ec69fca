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
  // `helper`: the program that reads the pages; the bundle's own when empty,
  // looked for afresh for each page.
  explicit ProcessTextRecognizer(TesseractTextRecognizer::Options options, QString helper = {});

  using TextRecognizer::recognize;
  std::vector<TextObservation> recognize(const QImage &image, const std::atomic<bool> &cancelled) override;

  // Where the bundle's helper is; empty when it cannot be found.
  static QString helperPath();

private:
  TesseractTextRecognizer::Options options_;
  QString helper_;
};

} // namespace crel
