#include "PasteServer.h"

#include <QLoggingCategory>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <fcntl.h>
#include <mutex>
#include <optional>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcPaste, "crel.paste")

namespace crel {

using Clock = std::chrono::steady_clock;

struct PasteServer::State {
  std::mutex mutex;
  std::condition_variable done;
  int inFlight = 0;
  // When the end of the run began to wait; guarded by the mutex.
  std::optional<Clock::time_point> ending;
  // Readable from then on: wakes pastes waiting on their reader to take the
  // end's bound.
  const int wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);

  ~State() {
    if (wake >= 0)
      ::close(wake);
  }

  std::optional<Clock::time_point> endingSince() {
    const std::lock_guard lock(mutex);
    return ending;
  }

  void finished() {
    const std::lock_guard lock(mutex);
    --inFlight;
    done.notify_all();
  }
};

namespace {

struct Paste {
  int fd;
  QByteArray bytes;
  PasteServer::Bounds bounds;
  std::shared_ptr<PasteServer::State> state;
};

int remainingMs(Clock::time_point until) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now()).count();
  return int(std::max<decltype(left)>(left, 0));
}

// One paste, on a thread of its own: a reader that closes early must not
// raise SIGPIPE in the process (blocked here only, so children started
// elsewhere keep the default).
void *writePaste(void *data) {
  const std::unique_ptr<Paste> paste(static_cast<Paste *>(data));
  sigset_t pipe;
  sigemptyset(&pipe);
  sigaddset(&pipe, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
  ::fcntl(paste->fd, F_SETFL, ::fcntl(paste->fd, F_GETFL) | O_NONBLOCK);
  const Clock::time_point start = Clock::now(), whole = start + paste->bounds.whole;
  Clock::time_point lastWrite = start;
  qsizetype written = 0;
  while (written < paste->bytes.size()) {
    const std::optional<Clock::time_point> ending = paste->state->endingSince();
    Clock::time_point giveUp = std::min(whole, lastWrite + paste->bounds.stall);
    if (ending)
      giveUp = std::min(giveUp, std::max(lastWrite, *ending) + paste->bounds.endStall);
    const int wait = remainingMs(giveUp);
    if (wait == 0)
      break;
    pollfd ready[2]{{paste->fd, POLLOUT, 0}, {paste->state->wake, POLLIN, 0}};
    const int polled = ::poll(ready, ending ? 1 : 2, wait);
    if (polled < 0 && errno != EINTR)
      break;
    if (polled <= 0 || ready[0].revents == 0)
      continue;
    const ssize_t n = ::write(paste->fd, paste->bytes.constData() + written, size_t(paste->bytes.size() - written));
    if (n < 0 && errno != EAGAIN && errno != EINTR)
      break;
    if (n > 0) {
      written += n;
      lastWrite = Clock::now();
    }
  }
  ::close(paste->fd);
  paste->state->finished();
  return nullptr;
}

} // namespace

PasteServer &PasteServer::shared() {
  // Never destroyed: threads still serving at exit may use its state.
  static auto *server = new PasteServer;
  return *server;
}

PasteServer::PasteServer() : PasteServer(Bounds{}) {}

PasteServer::PasteServer(Bounds bounds) : bounds_(bounds), state_(std::make_shared<State>()) {}

PasteServer::~PasteServer() = default;

void PasteServer::serve(int fd, const QByteArray &bytes) {
  struct stat target {};
  if (::fstat(fd, &target) != 0 || !(S_ISFIFO(target.st_mode) || S_ISSOCK(target.st_mode))) {
    ::close(fd);
    static std::atomic_bool told = false;
    if (!told.exchange(true))
      qCWarning(lcPaste) << "a program asked for a paste into neither a pipe nor a socket: it was given nothing";
    return;
  }
  {
    const std::lock_guard lock(state_->mutex);
    if (state_->inFlight >= bounds_.atOnce) {
      ::close(fd);
      return;
    }
    ++state_->inFlight;
  }
  auto *paste = new Paste{fd, bytes, bounds_, state_};
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
  pthread_attr_setstacksize(&attributes, size_t(64) * 1024);
  pthread_t thread;
  if (pthread_create(&thread, &attributes, writePaste, paste) != 0) {
    ::close(fd);
    delete paste;
    state_->finished();
  }
  pthread_attr_destroy(&attributes);
}

bool PasteServer::finish() {
  std::unique_lock lock(state_->mutex);
  if (!state_->ending) {
    state_->ending = Clock::now();
    eventfd_write(state_->wake, 1);
  }
  // Every paste ends by its whole bound.
  return state_->done.wait_for(lock, bounds_.whole, [this] { return state_->inFlight == 0; });
}

} // namespace crel
