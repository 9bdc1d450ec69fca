#pragma once

#include "platform/text/TesseractTextRecognizer.h"
#include "platform/text/TextRecognizer.h"

#include <QMutex>

#include <optional>

namespace crel {

// Text recognition in a helper process, crel-text-recognizer, started for
// each page. Tesseract has steps that run for minutes on a dense page without
// a point where it can be told to stop; a process can be ended at once.
// Cancelling kills the helper, and so does the end of this process, however
// it ends.
class ProcessTextRecognizer final : public TextRecognizer {
public:
  // Reads each page in the data and languages of this process's user as they
  // are at that moment (Options::forUser), so that a language installed
  // meanwhile is read from the next page on.
  ProcessTextRecognizer();
  // `helper`: the program that reads the pages; the bundle's own when empty,
  // looked for afresh for each page.
  explicit ProcessTextRecognizer(TesseractTextRecognizer::Options options, QString helper = {});

  using TextRecognizer::recognize;
  std::vector<TextObservation> recognize(const QImage &image, const std::atomic<bool> &cancelled) override;

  // Where the bundle's helper is; empty when it cannot be found.
  static QString helperPath();

private:
  using Options = TesseractTextRecognizer::Options;
  // The helper's answer, failed or not; throws when it gave none.
  TextRecognitionOutcome read(const Options &options, const QImage &image, const std::atomic<bool> &cancelled) const;

  std::optional<Options> options_; // none: the user's, for each page
  QString helper_;
  QMutex mutex_;
  std::optional<Options> lastWorked_;
};

} // namespace crel
