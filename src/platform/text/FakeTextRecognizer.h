#pragma once

#include "platform/text/TextRecognizer.h"

#include <QMutex>
#include <QSemaphore>

#include <atomic>
#include <optional>

namespace crel {

// A recogniser for tests: returns the observations it was given, or fails
// with the given sentence. It can be held at its start until released, to
// observe a recognition that is still running; a held call that is cancelled
// fails at once.
class FakeTextRecognizer final : public TextRecognizer {
public:
  using TextRecognizer::recognize;
  std::vector<TextObservation> recognize(const QImage &image, const std::atomic<bool> &cancelled) override;

  void setObservations(std::vector<TextObservation> observations);
  void setFailure(std::optional<QString> description);

  // While held, recognize() waits until release() (one call per release).
  void hold();
  void release();

  int callCount() const { return calls_; }
  // Calls that ended because they were cancelled.
  int cancelledCount() const { return cancelledCalls_; }
  QSize lastImageSize() const;

private:
  mutable QMutex mutex_;
  std::vector<TextObservation> observations_;
  std::optional<QString> failure_;
  QSize lastSize_;
  std::atomic<bool> held_{false};
  QSemaphore gate_;
  std::atomic<int> calls_{0};
  std::atomic<int> cancelledCalls_{0};
};

} // namespace crel
