#include "PasteServer.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <pthread.h>
#include <unistd.h>

namespace crel {

struct PasteServer::State {
  std::mutex mutex;
  std::condition_variable done;
  int inFlight = 0;

  void finished() {
    const std::lock_guard lock(mutex);
    --inFlight;
    done.notify_all();
  }
};

namespace {

using Clock = std::chrono::steady_clock;

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
  Clock::time_point stalled = start + paste->bounds.stall;
  qsizetype written = 0;
  while (written < paste->bytes.size()) {
    const int wait = std::min(remainingMs(whole), remainingMs(stalled));
    if (wait == 0)
      break;
    pollfd ready{paste->fd, POLLOUT, 0};
    const int polled = ::poll(&ready, 1, wait);
    if (polled < 0 && errno != EINTR)
      break;
    if (polled <= 0)
      continue;
    const ssize_t n = ::write(paste->fd, paste->bytes.constData() + written, size_t(paste->bytes.size() - written));
    if (n < 0 && errno != EAGAIN && errno != EINTR)
      break;
    if (n > 0) {
      written += n;
      stalled = Clock::now() + paste->bounds.stall;
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

bool PasteServer::finish(std::chrono::milliseconds limit) {
  std::unique_lock lock(state_->mutex);
  return state_->done.wait_for(lock, limit, [this] { return state_->inFlight == 0; });
}

} // namespace crel
