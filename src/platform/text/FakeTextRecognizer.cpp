#include "FakeTextRecognizer.h"

#include "platform/text/TextRecognitionError.h"

namespace crel {

std::vector<TextObservation> FakeTextRecognizer::recognize(const QImage &image, const std::atomic<bool> &cancelled) {
  ++calls_;
  bool passed = false;
  while (held_ && !cancelled && !(passed = gate_.tryAcquire(1, 5))) {
  }
  if (cancelled) {
    if (passed)
      gate_.release(); // the release was meant for a call that goes on
    ++cancelledCalls_;
    throw TextRecognitionError("Cancelled.");
  }
  QMutexLocker lock(&mutex_);
  lastSize_ = image.size();
  if (failure_)
    throw TextRecognitionError(*failure_);
  return observations_;
}

void FakeTextRecognizer::setObservations(std::vector<TextObservation> observations) {
  QMutexLocker lock(&mutex_);
  observations_ = std::move(observations);
}

void FakeTextRecognizer::setFailure(std::optional<QString> description) {
  QMutexLocker lock(&mutex_);
  failure_ = std::move(description);
}

void FakeTextRecognizer::hold() { held_ = true; }

void FakeTextRecognizer::release() { gate_.release(); }

QSize FakeTextRecognizer::lastImageSize() const {
  QMutexLocker lock(&mutex_);
  return lastSize_;
}

} // namespace crel
