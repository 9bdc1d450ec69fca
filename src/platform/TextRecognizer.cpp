#include "TextRecognizer.h"

#include "platform/TesseractTextRecognizer.h"
#include "platform/TextRecognitionError.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QMutex>
#include <QThreadPool>

#include <atomic>
#include <exception>

namespace crel {

namespace {

// The process's recognition state. Never destroyed: what it holds is
// released by shutDown() while the process is still whole, or not at all,
// so that no Tesseract engine ends after the library's own globals.
struct State {
  QMutex mutex;
  std::shared_ptr<TextRecognizer> shared;
  // The one serial queue: a pool with a single thread keeps submissions in
  // order and lets the thread retire when idle.
  std::unique_ptr<QThreadPool> queue;
  std::shared_ptr<TextRecognizer> running;
  std::atomic<bool> closed{false};
};

State &state() {
  static State *s = new State;
  return *s;
}

} // namespace

std::shared_ptr<TextRecognizer> TextRecognizer::shared() {
  State &s = state();
  QMutexLocker lock(&s.mutex);
  if (!s.shared)
    s.shared = std::make_shared<TesseractTextRecognizer>();
  return s.shared;
}

void TextRecognizer::setShared(std::shared_ptr<TextRecognizer> recognizer) {
  State &s = state();
  QMutexLocker lock(&s.mutex);
  std::swap(s.shared, recognizer);
  lock.unlock(); // the old one ends outside the lock
}

void TextRecognizer::waitForBackgroundWork() {
  State &s = state();
  QMutexLocker lock(&s.mutex);
  QThreadPool *queue = s.queue.get();
  lock.unlock();
  if (queue)
    queue->waitForDone();
}

void TextRecognizer::shutDown() {
  State &s = state();
  QMutexLocker lock(&s.mutex);
  s.closed = true;
  std::unique_ptr<QThreadPool> queue = std::move(s.queue);
  const std::shared_ptr<TextRecognizer> running = s.running;
  std::shared_ptr<TextRecognizer> shared = std::move(s.shared);
  lock.unlock();
  if (queue)
    queue->clear();
  if (running)
    running->cancel();
  queue.reset(); // waits for the running job and joins the thread
}

void TextRecognizer::submit(std::shared_ptr<TextRecognizer> recognizer, std::function<void(TextRecognizer &)> job) {
  State &s = state();
  QMutexLocker lock(&s.mutex);
  if (s.closed)
    return;
  if (!s.queue) {
    s.queue = std::make_unique<QThreadPool>();
    s.queue->setMaxThreadCount(1);
    s.queue->setObjectName("screenshot-text-recognition");
    static bool registered = false;
    if (!registered)
      qAddPostRoutine(&TextRecognizer::shutDown);
    registered = true;
  }
  s.queue->start([recognizer = std::move(recognizer), job = std::move(job)]() {
    State &s = state();
    {
      QMutexLocker lock(&s.mutex);
      if (s.closed)
        return;
      s.running = recognizer;
    }
    job(*recognizer);
    QMutexLocker lock(&s.mutex);
    s.running.reset();
  });
}

void TextRecognizer::deliver(QPointer<QObject> receiver, std::function<void()> call) {
  State &s = state();
  QMutexLocker lock(&s.mutex);
  QCoreApplication *application = QCoreApplication::instance();
  if (s.closed || !application)
    return;
  // The guard is read only on the main thread, where the receiver dies.
  QMetaObject::invokeMethod(
      application,
      [receiver = std::move(receiver), call = std::move(call)]() {
        if (receiver && !state().closed)
          call();
      },
      Qt::QueuedConnection);
}

TextRecognitionOutcome TextRecognizer::run(TextRecognizer &recognizer, const QImage &image) {
  TextRecognitionOutcome outcome;
  try {
    outcome.observations = recognizer.recognize(image);
  } catch (const TextRecognitionError &error) {
    outcome.failed = true;
    outcome.errorDescription = error.description();
  } catch (const std::exception &error) {
    outcome.failed = true;
    outcome.errorDescription = QString::fromUtf8(error.what());
  }
  return outcome;
}

} // namespace crel
