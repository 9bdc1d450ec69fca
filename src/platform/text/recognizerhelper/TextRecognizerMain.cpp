// crel-text-recognizer: reads the words of one page for the application
// (protocol in TextRecognizerProtocol.h). It runs in a process of its own so
// that the application can end a recognition at any moment, even inside an
// engine step that never looks whether it should stop.

#include "platform/text/TesseractTextRecognizer.h"
#include "platform/text/TextRecognitionError.h"
#include "platform/text/TextRecognizerProtocol.h"

#include <QByteArray>

#include <cerrno>
#include <csignal>
#include <exception>

#include <sys/prctl.h>
#include <unistd.h>

namespace {

namespace protocol = crel::TextRecognizerProtocol;

QByteArray readAll(int fd) {
  QByteArray bytes;
  char chunk[1 << 16];
  for (;;) {
    const ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n > 0)
      bytes.append(chunk, qsizetype(n));
    else if (n == 0 || errno != EINTR)
      return bytes;
  }
}

bool writeAll(int fd, const QByteArray &bytes) {
  qsizetype written = 0;
  while (written < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.constData() + written, std::size_t(bytes.size() - written));
    if (n > 0)
      written += n;
    else if (n < 0 && errno != EINTR)
      return false;
  }
  return true;
}

} // namespace

int main() {
  // Should the application die without ending us, we end too.
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  const std::optional<protocol::Request> request = protocol::decodeRequest(readAll(STDIN_FILENO));
  if (!request)
    ::_exit(protocol::badRequest);
  crel::TextRecognitionOutcome outcome;
  try {
    crel::TesseractTextRecognizer recognizer({request->dataPath, request->language, request->engineCount});
    outcome.observations = recognizer.recognize(request->page);
  } catch (const crel::TextRecognitionError &error) {
    outcome.failed = true;
    outcome.errorDescription = error.description();
  } catch (const std::exception &error) {
    outcome.failed = true;
    outcome.errorDescription = QString::fromUtf8(error.what());
  }
  const bool sent = writeAll(STDOUT_FILENO, protocol::encodeOutcome(outcome));
  // Nothing is left to do: the engines' teardown would only cost time.
  ::_exit(sent ? protocol::answered : protocol::badRequest);
}
