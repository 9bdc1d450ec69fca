#include "QuitController.h"

#include "platform/base/SignalBridge.h"

#include <QPointer>

namespace crel {

QuitController::QuitController(Hooks hooks, QObject *parent) : QObject(parent), hooks_(std::move(hooks)) {}

QuitController::Reply QuitController::requestQuit(From from, const std::function<bool()> &mayAsk) {
  if (asking_) {
    if (current_.bringForward)
      current_.bringForward();
    return Reply::later;
  }
  // The desktop is not refused: an update that cannot keep the editors now
  // stays staged for a later run (the editors were not kept, so it does not install).
  const bool updatePending = hooks_.updatePending && hooks_.updatePending();
  const bool busy = updatePending && hooks_.busy && hooks_.busy();
  if (busy && from == From::user)
    return Reply::cancel;
  // The saves and prompts ahead take what they take; a signal now is no hang.
  SignalBridge::quitRoadStarted();
  if (updatePending && !busy) {
    try {
      if (hooks_.saveUpdateSession)
        hooks_.saveUpdateSession();
    } catch (...) {
      if (hooks_.report)
        hooks_.report(std::current_exception());
      if (from == From::user) {
        SignalBridge::quitRoadCancelled();
        return Reply::cancel;
      }
    }
  }
  if (hooks_.cancelCapture)
    hooks_.cancelCapture();
  std::vector<Editor> pending;
  for (Editor &editor : hooks_.editors ? hooks_.editors() : std::vector<Editor>{}) {
    if (editor.finishAndFlush)
      editor.finishAndFlush();
    if (editor.needsDecision && editor.needsDecision())
      pending.push_back(std::move(editor));
  }
  if (pending.empty()) {
    hooks_.terminate();
    return Reply::now;
  }
  if (mayAsk && !mayAsk()) {
    SignalBridge::quitRoadCancelled();
    return Reply::cancel;
  }
  asking_ = true;
  terminated_ = false;
  ask(std::move(pending), 0);
  if (asking_)
    return Reply::later;
  return terminated_ ? Reply::now : Reply::cancel;
}

void QuitController::ask(std::vector<Editor> pending, size_t next) {
  if (next >= pending.size()) {
    asking_ = false;
    current_ = {};
    terminated_ = true;
    hooks_.terminate();
    Q_EMIT answered(true);
    return;
  }
  current_ = pending[next];
  if (current_.bringForward)
    current_.bringForward();
  const unsigned round = ++round_;
  auto prompt = current_.confirmDiscard;
  if (!prompt) {
    ask(std::move(pending), next + 1);
    return;
  }
  prompt([self = QPointer<QuitController>(this), round, pending = std::move(pending), next](bool mayGo) mutable {
    if (!self || round != self->round_)
      return;
    if (!mayGo) {
      SignalBridge::quitRoadCancelled();
      self->asking_ = false;
      self->current_ = {};
      Q_EMIT self->answered(false);
      return;
    }
    self->ask(std::move(pending), next + 1);
  });
}

} // namespace crel
