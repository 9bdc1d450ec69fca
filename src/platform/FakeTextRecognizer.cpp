#include "FakeTextRecognizer.h"

#include "platform/TextRecognitionError.h"

namespace crel {

std::vector<TextObservation> FakeTextRecognizer::recognize(const QImage &image) {
  ++calls_;
  if (held_ && !cancelled_)
    gate_.acquire();
  if (cancelled_)
    throw TextRecognitionError("Cancelled.");
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

void FakeTextRecognizer::cancel() {
  cancelled_ = true;
  gate_.release();
}

void FakeTextRecognizer::hold() { held_ = true; }

void FakeTextRecognizer::release() { gate_.release(); }

QSize FakeTextRecognizer::lastImageSize() const {
  QMutexLocker lock(&mutex_);
  return lastSize_;
}

} // namespace crel
