#include "TextRecognizer.h"

#include "platform/base/FreedMemory.h"
#include "platform/text/ProcessTextRecognizer.h"
#include "platform/text/TextRecognitionError.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QMutex>
#include <QThreadPool>

#include <algorithm>
#include <atomic>
#include <deque>
#include <exception>
#include <utility>

namespace crel {

namespace {

struct Job {
  std::shared_ptr<TextRecognizer> recognizer;
  std::function<void(TextRecognizer &, const std::atomic<bool> &)> work;
  std::atomic<bool> cancelled{false};
};

// The process's recognition state. Never destroyed: what it holds is
// released by shutDown() while the process is still whole, or not at all,
// so that no Tesseract engine ends after the library's own globals.
struct State {
  std::atomic<bool> closed{false};
  QMutex mutex;
  std::shared_ptr<TextRecognizer> shared;
  // The one serial queue: jobs wait in `waiting`, where a cancelled one can
  // be taken out; each submission starts one turn of a pool with a single
  // thread, which runs the first waiting job, so the order is kept and the
  // thread retires when idle.
  std::unique_ptr<QThreadPool> queue;
  std::deque<std::shared_ptr<Job>> waiting;
  std::shared_ptr<Job> running;
};

constexpr int kShutDownWaitMs = 1000;

State &state() {
  static State *s = new State;
  return *s;
}

} // namespace

std::shared_ptr<TextRecognizer> TextRecognizer::shared() {
  State &s = state();
  QMutexLocker lock(&s.mutex);
  if (!s.shared)
    s.shared = std::make_shared<ProcessTextRecognizer>();
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
  const std::deque<std::shared_ptr<Job>> waiting = std::exchange(s.waiting, {});
  if (s.running)
    s.running->cancelled = true;
  std::shared_ptr<TextRecognizer> shared = std::move(s.shared);
  lock.unlock();
  // The running job is told to stop, which ends a recognition in a helper
  // process at once; one that ignores it is left behind rather than waited
  // for, as the process is ending anyway.
  if (queue && !queue->waitForDone(kShutDownWaitMs))
    (void)queue.release();
}

namespace {

// A job whose receiver is gone: out of the queue while it waits, told to stop
// while it runs.
void cancel(const std::weak_ptr<Job> &weakJob) {
  const std::shared_ptr<Job> job = weakJob.lock();
  if (!job)
    return;
  job->cancelled = true;
  State &s = state();
  QMutexLocker lock(&s.mutex);
  const auto it = std::find(s.waiting.begin(), s.waiting.end(), job);
  if (it != s.waiting.end())
    s.waiting.erase(it);
}

// One turn of the queue: the first waiting job, if any is left.
void runNext() {
  State &s = state();
  std::shared_ptr<Job> job;
  {
    QMutexLocker lock(&s.mutex);
    if (s.closed || s.waiting.empty())
      return;
    job = std::move(s.waiting.front());
    s.waiting.pop_front();
    s.running = job;
  }
  job->work(*job->recognizer, job->cancelled);
  {
    QMutexLocker lock(&s.mutex);
    s.running.reset();
  }
  const bool cancelled = job->cancelled;
  job.reset();
  // A cancelled recognition of a large page has just freed hundreds of
  // megabytes that nothing may need soon: back to the system with them.
  if (cancelled)
    FreedMemory::giveBack();
}

} // namespace

void TextRecognizer::submit(std::shared_ptr<TextRecognizer> recognizer, QObject *receiver, Work work) {
  State &s = state();
  QMutexLocker lock(&s.mutex);
  if (s.closed)
    return;
  auto job = std::make_shared<Job>();
  job->recognizer = std::move(recognizer);
  job->work = std::move(work);
  if (!s.queue) {
    s.queue = std::make_unique<QThreadPool>();
    s.queue->setMaxThreadCount(1);
    s.queue->setObjectName("screenshot-text-recognition");
    static bool registered = false;
    if (!registered)
      qAddPostRoutine(&TextRecognizer::shutDown);
    registered = true;
  }
  s.waiting.push_back(job);
  s.queue->start(&runNext);
  lock.unlock();
  if (receiver)
    QObject::connect(receiver, &QObject::destroyed, [weakJob = std::weak_ptr<Job>(job)] { cancel(weakJob); });
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

std::vector<TextObservation> TextRecognizer::recognize(const QImage &image) {
  static const std::atomic<bool> never{false};
  return recognize(image, never);
}

TextRecognitionOutcome TextRecognizer::run(TextRecognizer &recognizer, const QImage &image,
                                           const std::atomic<bool> &cancelled) {
  TextRecognitionOutcome outcome;
  try {
    outcome.observations = recognizer.recognize(image, cancelled);
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
