#include "TextRecognizer.h"

#include "platform/TesseractTextRecognizer.h"
#include "platform/TextRecognitionError.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QMutex>
#include <QThreadPool>

#include <exception>

namespace crel {

namespace {

QMutex sharedMutex;
std::shared_ptr<TextRecognizer> sharedRecognizer;

// The one serial queue of the process: a pool with a single thread keeps
// submissions in order and lets the thread retire when idle.
QThreadPool &serialQueue() {
  static QThreadPool *pool = [] {
    auto *p = new QThreadPool;
    p->setMaxThreadCount(1);
    p->setObjectName("screenshot-text-recognition");
    return p;
  }();
  return *pool;
}

} // namespace

std::shared_ptr<TextRecognizer> TextRecognizer::shared() {
  QMutexLocker lock(&sharedMutex);
  if (!sharedRecognizer)
    sharedRecognizer = std::make_shared<TesseractTextRecognizer>();
  return sharedRecognizer;
}

void TextRecognizer::setShared(std::shared_ptr<TextRecognizer> recognizer) {
  QMutexLocker lock(&sharedMutex);
  sharedRecognizer = std::move(recognizer);
}

void TextRecognizer::waitForBackgroundWork() { serialQueue().waitForDone(); }

void TextRecognizer::submit(std::function<void()> job) { serialQueue().start(std::move(job)); }

void TextRecognizer::deliver(QPointer<QObject> receiver, std::function<void()> call) {
  // The guard is read only on the main thread, where the receiver dies.
  QMetaObject::invokeMethod(
      QCoreApplication::instance(),
      [receiver = std::move(receiver), call = std::move(call)]() {
        if (receiver)
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
