#pragma once

#include <QObject>

#include <functional>

namespace crel {

// sway keeps one full-screen window per workspace: a window that goes full
// screen takes the state from the one that had it, and leaving does not give
// it back. Notes, through sway's IPC socket ($SWAYSOCK), whether the focused
// window is full screen, and gives it the state back afterwards. Does
// nothing under any other compositor.
class SwayFullScreen final : public QObject {
  Q_OBJECT

public:
  explicit SwayFullScreen(QObject *parent = nullptr);

  // `then` runs on this object's thread once sway answered, failed or kept
  // silent for answerTimeoutMs; at once without sway.
  void note(std::function<void()> then);
  // Full screen again for the window noted, when it was; once.
  void restore();

  static constexpr int answerTimeoutMs = 500;

private:
  void noted();

  std::function<void()> then_;
  // sway's command for the window noted; empty when it was not full screen.
  QByteArray restoreCommand_;
};

} // namespace crel
