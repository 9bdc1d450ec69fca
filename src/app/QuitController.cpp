#include "QuitController.h"

#include "platform/base/SignalBridge.h"

#include <algorithm>

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
  underWay_ = true;
  from_ = from;
  const bool keepsSession = updatePending && !busy;
  sessionWritten_ = keepsSession && writeSession();
  if (keepsSession && !sessionWritten_ && from == From::user) {
    stop();
    return Reply::cancel;
  }
  if (hooks_.cancelCapture)
    hooks_.cancelCapture();
  seen_.clear();
  asked_.clear();
  std::vector<Editor> pending = undecided();
  editorsCame_ = false;
  if (pending.empty()) {
    hooks_.terminate();
    return Reply::now;
  }
  if (mayAsk && !mayAsk()) {
    stop();
    return Reply::cancel;
  }
  asking_ = true;
  terminated_ = false;
  ask(std::move(pending), 0);
  if (asking_)
    return Reply::later;
  return terminated_ ? Reply::now : Reply::cancel;
}

bool QuitController::writeSession() {
  try {
    if (hooks_.saveUpdateSession)
      hooks_.saveUpdateSession();
    return true;
  } catch (...) {
    if (hooks_.report)
      hooks_.report(std::current_exception());
    return false;
  }
}

std::vector<QuitController::Editor> QuitController::undecided() {
  std::vector<Editor> pending;
  for (Editor &editor : hooks_.editors ? hooks_.editors() : std::vector<Editor>{}) {
    if (std::count(asked_.begin(), asked_.end(), editor.identity))
      continue;
    if (!std::count(seen_.begin(), seen_.end(), editor.identity)) {
      seen_.push_back(editor.identity);
      editorsCame_ = true;
    }
    if (editor.finishAndFlush)
      editor.finishAndFlush();
    if (editor.needsDecision && editor.needsDecision()) {
      asked_.push_back(editor.identity);
      pending.push_back(std::move(editor));
    }
  }
  return pending;
}

void QuitController::ask(std::vector<Editor> pending, size_t next) {
  if (next >= pending.size()) {
    // Editors opened or changed while the prompts were up are asked too.
    if (std::vector<Editor> late = undecided(); !late.empty()) {
      ask(std::move(late), 0);
      return;
    }
    // The relaunch reopens what the update session holds: it keeps the
    // editors opened since, or the user hears why the quit stopped.
    if (sessionWritten_ && std::exchange(editorsCame_, false) && !writeSession() && from_ == From::user) {
      cancelled();
      return;
    }
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
    if (mayGo)
      self->ask(std::move(pending), next + 1);
    else
      self->cancelled();
  });
}

void QuitController::cancelled() {
  asking_ = false;
  current_ = {};
  Q_EMIT answered(false);
  stop();
}

void QuitController::stop() {
  SignalBridge::quitRoadCancelled();
  underWay_ = false;
  Q_EMIT stopped();
}

} // namespace crel
