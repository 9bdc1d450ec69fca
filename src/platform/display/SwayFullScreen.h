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

  // Asks without waiting, so nothing need wait for sway; an answer that
  // comes once `ownWindow` (an X11 window id) has the focus came too late
  // and is ignored. Sway gets answerTimeoutMs.
  void note(quint64 ownWindow);
  // Full screen again for the window noted, when it was; once.
  void restore();
  // Keeps that for later instead: sway would hide an editor about to open
  // behind the window.
  void park();
  // What park() kept last, once, as a call that restores it; empty when
  // nothing was.
  static std::function<void()> takeParked();

  static inline int answerTimeoutMs = 500; // tests lengthen it
  // Far above any real tree.
  static constexpr quint32 maxReplyBytes = 64 * 1024 * 1024;

private:
  // sway's command for the window noted; empty when it was not full screen.
  QByteArray restoreCommand_;
};

} // namespace crel
