#pragma once

#include "platform/text/TextObservation.h"

#include <QImage>
#include <QObject>
#include <QPointer>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

namespace crel {

// Outcome of one background recognition: the lines, or the error's sentence.
struct TextRecognitionOutcome {
  std::vector<TextObservation> observations;
  bool failed = false;
  QString errorDescription;
};

// On-device text recognition of one image.
class TextRecognizer {
public:
  virtual ~TextRecognizer() = default;

  // Synchronous and slow. Throws TextRecognitionError when recognition
  // cannot run (for example, missing language data), and when `cancelled`,
  // which any thread may set, stops it early.
  virtual std::vector<TextObservation> recognize(const QImage &image, const std::atomic<bool> &cancelled) = 0;
  std::vector<TextObservation> recognize(const QImage &image);

  // The recogniser the application uses: Tesseract in a helper process, in
  // the user's languages, unless replaced.
  static std::shared_ptr<TextRecognizer> shared();
  static void setShared(std::shared_ptr<TextRecognizer> recognizer);

  // Runs recognize() on the process's one serial recognition thread (jobs of
  // all callers run one after another, in submission order) and hands
  // `transform` of the outcome to `done` on the main thread. Call from the
  // main thread. When `receiver` is destroyed first, the job is cancelled: a
  // waiting one leaves the queue, a running one is stopped, and nothing is
  // delivered; the receiver is never kept alive by it. `transform` runs on the
  // recognition thread.
  template <typename Result>
  static void recognizeInBackground(std::shared_ptr<TextRecognizer> recognizer, const QImage &image, QObject *receiver,
                                    std::function<Result(const TextRecognitionOutcome &)> transform,
                                    std::function<void(Result)> done);

  // Blocks until every job submitted so far has finished (tests).
  static void waitForBackgroundWork();

  // Ends background recognition for good, before the libraries it uses are
  // torn down: queued jobs are dropped, the running one is cancelled and
  // waited for a second at most, later submissions are ignored and no outcome
  // is delivered any more; then the shared recogniser is released. Runs by
  // itself when the QCoreApplication is destroyed; safe to call more than
  // once.
  static void shutDown();

private:
  using Work = std::function<void(TextRecognizer &, const std::atomic<bool> &cancelled)>;
  static void submit(std::shared_ptr<TextRecognizer> recognizer, QObject *receiver, Work work);
  static void deliver(QPointer<QObject> receiver, std::function<void()> call);
  static TextRecognitionOutcome run(TextRecognizer &recognizer, const QImage &image,
                                    const std::atomic<bool> &cancelled);
};

template <typename Result>
void TextRecognizer::recognizeInBackground(std::shared_ptr<TextRecognizer> recognizer, const QImage &image,
                                           QObject *receiver,
                                           std::function<Result(const TextRecognitionOutcome &)> transform,
                                           std::function<void(Result)> done) {
  submit(std::move(recognizer), receiver,
         [image, receiver = QPointer<QObject>(receiver), transform = std::move(transform),
          done = std::move(done)](TextRecognizer &recognizer, const std::atomic<bool> &cancelled) mutable {
           TextRecognitionOutcome outcome = run(recognizer, image, cancelled);
           if (cancelled)
             return;
           auto result = std::make_shared<Result>(transform(outcome));
           deliver(receiver, [done = std::move(done), result]() { done(std::move(*result)); });
         });
}

} // namespace crel
