#include "ForwardedRequests.h"

#include "AppDelegate.h"
#include "capture/CaptureCoordinator.h"

#include <QTimer>

#include <algorithm>
#include <memory>
#include <utility>

namespace crel {

namespace {

// A desktop's key binding runs `--capture` against the running instance: its
// exit status says whether the displays froze. A capture still waiting (on a
// permission dialog or for an alert to be answered, say) answers yes before
// the caller gives up on us; one that freezes only after the caller gave up is
// taken back.
void answerOnceFrozen(CaptureCoordinator &capture, const ForwardedLaunch &request, bool handled, bool waits,
                      const SingleInstance::Reply &reply) {
  using Phase = CaptureCoordinator::Phase;
  if (!handled || (capture.phase() != Phase::preparing && !waits))
    return reply(handled && capture.phase() != Phase::idle);
  auto *watch = new QObject(&capture);
  auto answered = std::make_shared<bool>(false);
  auto answer = [watch, answered, reply](bool frozen) {
    if (std::exchange(*answered, true))
      return;
    watch->deleteLater();
    reply(frozen);
  };
  QObject::connect(&capture, &CaptureCoordinator::phaseChanged, watch, [answer, request, &capture](Phase phase) {
    if (phase == Phase::preparing)
      return;
    if (phase != Phase::idle && request.isLate()) {
      // Not from inside the coordinator's own change: it goes on to show its panels.
      QTimer::singleShot(0, &capture, [&capture] { capture.cancel(); });
      return answer(false);
    }
    answer(phase != Phase::idle);
  });
  constexpr qint64 longest = SingleInstance::replyTimeoutMs * 3 / 4;
  QTimer::singleShot(int(std::clamp<qint64>(request.answerWithinMs().value_or(longest), 0, longest)), watch,
                     [answer] { answer(true); });
}

} // namespace

void ForwardedRequests::handle(const ForwardedLaunch &request, const SingleInstance::Reply &reply) {
  // Its launch has given up, or will before an answer could reach it.
  if (request.isLate())
    return reply(false);
  switch (request.command) {
  case ForwardedLaunch::Command::capture: {
    const bool handled = delegate_.handleForwarded(request);
    answerOnceFrozen(capture_, request, handled, delegate_.captureWaits(), reply);
    return;
  }
  case ForwardedLaunch::Command::open:
    // Reading may outlast the launch's deadline: the launch waits for it.
    reply.accept();
    delegate_.handleForwarded(request, [reply](bool ok) { reply(ok); });
    return;
  case ForwardedLaunch::Command::reopen: reply(delegate_.handleForwarded(request)); return;
  }
}

} // namespace crel
