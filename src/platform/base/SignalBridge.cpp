#include "SignalBridge.h"

#include <QSocketNotifier>

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace crel {

namespace {

constexpr std::array handledSignals{SIGTERM, SIGINT, SIGHUP};
int pipeFds[2] = {-1, -1};
// How long a request may wait for the event loop: a main thread that never
// gets back to it (a wait that cannot end) must not outlive the request.
constexpr unsigned graceSeconds = 5;

// Set by the main thread; read by the handler on whichever thread the signal lands.
std::atomic<bool> quitting = false;
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void onSignal(int number) {
  const int saved = errno;
  // SIGALRM keeps its default action: the process ends unless the quit road
  // starts first. Looked at again after arming: a road that started in
  // between may have disarmed before this armed.
  if (!quitting) {
    ::alarm(graceSeconds);
    if (quitting)
      ::alarm(0);
  }
  const unsigned char byte = static_cast<unsigned char>(number);
  // A full pipe already holds a pending request; dropping this one is fine.
  [[maybe_unused]] const ssize_t written = ::write(pipeFds[1], &byte, 1);
  errno = saved;
}

} // namespace

SignalBridge *SignalBridge::install(QObject *parent) {
  if (pipeFds[0] >= 0 || ::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0)
    return nullptr;
  auto *bridge = new SignalBridge(parent);
  struct sigaction action = {};
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int number : handledSignals)
    ::sigaction(number, &action, nullptr);
  std::signal(SIGALRM, SIG_DFL);
  return bridge;
}

SignalBridge::SignalBridge(QObject *parent) : QObject(parent) {
  notifier_ = new QSocketNotifier(pipeFds[0], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &SignalBridge::readPipe);
}

SignalBridge::~SignalBridge() {
  // Back to the default actions before the pipe goes away.
  for (int number : handledSignals)
    std::signal(number, SIG_DFL);
  delete notifier_;
  ::close(pipeFds[0]);
  ::close(pipeFds[1]);
  pipeFds[0] = pipeFds[1] = -1;
}

void SignalBridge::quitRoadStarted() {
  quitting = true;
  ::alarm(0);
}

void SignalBridge::quitRoadCancelled() { quitting = false; }

void SignalBridge::readPipe() {
  // Before the drain: a signal that lands while it runs arms nothing.
  quitRoadStarted();
  unsigned char byte = 0;
  while (::read(pipeFds[0], &byte, 1) == 1)
    Q_EMIT terminationRequested(byte);
}

} // namespace crel
