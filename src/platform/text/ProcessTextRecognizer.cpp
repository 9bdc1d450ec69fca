#include "ProcessTextRecognizer.h"

#include "platform/base/DescriptorLimit.h"
#include "platform/base/Translate.h"
#include "platform/files/ResourceLocator.h"
#include "platform/text/TextRecognitionError.h"
#include "platform/text/TextRecognizerProtocol.h"

#include <QFileInfo>
#include <QLoggingCategory>
#include <QProcess>

#include <csignal>

#include <sys/prctl.h>

namespace crel {

namespace {

Q_LOGGING_CATEGORY(lcRecognizer, "crel.text", QtInfoMsg)

// How often a running recognition looks whether it is still wanted.
constexpr int kCancelPollMs = 40;

void stopIfCancelled(const std::atomic<bool> &cancelled) {
  if (cancelled)
    throw TextRecognitionError(QStringLiteral("Cancelled."));
}

} // namespace

ProcessTextRecognizer::ProcessTextRecognizer() = default;

ProcessTextRecognizer::ProcessTextRecognizer(Options options, QString helper)
    : options_(std::move(options)), helper_(std::move(helper)) {}

QString ProcessTextRecognizer::helperPath() {
  return ResourceLocator::helperProgram(QStringLiteral("crel-text-recognizer"));
}

std::vector<TextObservation> ProcessTextRecognizer::recognize(const QImage &image, const std::atomic<bool> &cancelled) {
  if (image.isNull() || image.width() <= 0 || image.height() <= 0)
    return {};
  stopIfCancelled(cancelled);
  // A listing of the data folder costs nothing next to the helper's start.
  const Options options = options_ ? *options_ : Options::forUser();
  TextRecognitionOutcome outcome = read(options, image, cancelled);
  QMutexLocker lock(&mutex_);
  if (!outcome.failed) {
    lastWorked_ = options;
  } else if (const std::optional<Options> fallback = lastWorked_; fallback && *fallback != options) {
    // A data file still being copied in (cp is not atomic) cannot be loaded
    // yet, and a document is recognised only once: its page is read in what
    // was there before.
    lock.unlock();
    outcome = read(*fallback, image, cancelled);
  }
  // The helper carries no translations: its sentences come back in English,
  // which is the key of their translation here.
  if (outcome.failed)
    throw TextRecognitionError(QCoreApplication::translate("Crel", outcome.errorDescription.toUtf8().constData()));
  return std::move(outcome.observations);
}

TextRecognitionOutcome ProcessTextRecognizer::read(const Options &options, const QImage &image,
                                                   const std::atomic<bool> &cancelled) const {
  const QString program = helper_.isEmpty() ? helperPath() : helper_;
  if (const QFileInfo file(program); program.isEmpty() || !file.isFile() || !file.isExecutable()) {
    qCWarning(lcRecognizer) << "crel-text-recognizer is missing; text cannot be recognised";
    throw TextRecognitionError(tr("The text recognition helper crel-text-recognizer is missing. Reinstall Crel."));
  }
  QProcess helper;
  helper.setProgram(program);
  helper.setStandardErrorFile(QProcess::nullDevice());
  // The helper goes with the thread that waits for it, even when this
  // process is killed and never gets to end it.
  helper.setChildProcessModifier([] {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    DescriptorLimit::restoreInChild();
  });
  helper.start(QIODevice::ReadWrite);
  if (!helper.waitForStarted(-1))
    throw TextRecognitionError(tr("The text recognition helper crel-text-recognizer could not start."));
  helper.write(TextRecognizerProtocol::encodeRequest({options.dataPath, options.language, options.engineCount, image}));
  helper.closeWriteChannel();
  while (helper.state() != QProcess::NotRunning && !helper.waitForFinished(kCancelPollMs)) {
    if (cancelled) {
      helper.kill();
      helper.waitForFinished(-1);
      stopIfCancelled(cancelled);
    }
  }
  stopIfCancelled(cancelled);
  const QByteArray answer = helper.readAllStandardOutput();
  const std::optional<TextRecognitionOutcome> outcome = TextRecognizerProtocol::decodeOutcome(answer);
  if (helper.exitStatus() != QProcess::NormalExit || helper.exitCode() != TextRecognizerProtocol::answered ||
      !outcome) {
    qCWarning(lcRecognizer) << "crel-text-recognizer ended without an answer:" << helper.exitStatus()
                            << helper.exitCode();
    throw TextRecognitionError(tr("The text recognition engine stopped unexpectedly."));
  }
  return std::move(*outcome);
}

} // namespace crel
