#pragma once

#include "platform/text/TextRecognizer.h"

#include <QMutex>
#include <QRect>
#include <QString>

#include <atomic>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace tesseract {
class TessBaseAPI;
}

namespace crel {

// Text recognition with Tesseract's LSTM engine, tuned for screenshots:
// light-on-dark areas are found, inverted and read separately; large images
// are read as overlapping horizontal strips on several engines at once; noise
// (empty, symbol-only or low-confidence words) is dropped, a low-confidence
// word only when read again alone it does not read the same. Engines are made on
// first use and kept for the life of the object. One recognition at a time.
class TesseractTextRecognizer final : public TextRecognizer {
public:
  struct Options {
    QString dataPath; // the tessdata folder; empty means Tesseract's own default
    QString language = "eng";
    int engineCount = 0; // 0: one per core, at most 8

    friend bool operator==(const Options &, const Options &) = default;

    // The data folder and the languages of this process's user (see
    // TextRecognitionLanguages).
    static Options forUser();
  };

  TesseractTextRecognizer();
  explicit TesseractTextRecognizer(Options options);
  ~TesseractTextRecognizer() override;

  using TextRecognizer::recognize;
  std::vector<TextObservation> recognize(const QImage &image, const std::atomic<bool> &cancelled) override;

  int engineCount() const { return engineCount_; }

  // The engine variables set at start, for anyone who must read a page the
  // same way (the command line: `-c name=value` each).
  static const std::vector<std::pair<const char *, const char *>> &settings();

private:
  struct Job;
  // A line a job read; `owned` when its centre lies in the job's core.
  struct Line {
    TextObservation observation;
    bool owned = true;
  };
  tesseract::TessBaseAPI &engine(int index);
  std::vector<Line> read(tesseract::TessBaseAPI &api, const Job &job, const std::atomic<bool> &cancelled) const;
  std::optional<float> confirm(tesseract::TessBaseAPI &api, const Job &job, const QString &text,
                               const QRect &box) const;

  Options options_;
  int engineCount_;
  QMutex mutex_;
  std::vector<std::unique_ptr<tesseract::TessBaseAPI>> engines_;
};

} // namespace crel
