#include "PasteServer.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <pthread.h>
#include <unistd.h>

namespace crel {

namespace {

// How long a paste's reader may stop reading before it is given up, so a
// reader that never reads does not keep a thread forever.
constexpr int stallMs = 10000;

struct Paste {
  int fd;
  QByteArray bytes;
};

// One paste, on a thread of its own: a reader that closes early must not
// raise SIGPIPE in the process (blocked here only, so children started
// elsewhere keep the default), and one that stops reading is given up.
void *serve(void *data) {
  const std::unique_ptr<Paste> paste(static_cast<Paste *>(data));
  sigset_t pipe;
  sigemptyset(&pipe);
  sigaddset(&pipe, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
  ::fcntl(paste->fd, F_SETFL, ::fcntl(paste->fd, F_GETFL) | O_NONBLOCK);
  qsizetype written = 0;
  while (written < paste->bytes.size()) {
    pollfd ready{paste->fd, POLLOUT, 0};
    const int polled = ::poll(&ready, 1, stallMs);
    if (polled == 0 || (polled < 0 && errno != EINTR))
      break;
    const ssize_t n = ::write(paste->fd, paste->bytes.constData() + written, size_t(paste->bytes.size() - written));
    if (n < 0 && errno != EAGAIN && errno != EINTR)
      break;
    written += std::max<ssize_t>(n, 0);
  }
  ::close(paste->fd);
  return nullptr;
}

} // namespace

void servePaste(int fd, const QByteArray &bytes) {
  auto *paste = new Paste{fd, bytes};
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
  pthread_attr_setstacksize(&attributes, size_t(64) * 1024);
  pthread_t thread;
  if (pthread_create(&thread, &attributes, serve, paste) != 0) {
    ::close(fd);
    delete paste;
  }
  pthread_attr_destroy(&attributes);
}

} // namespace crel
