#pragma once

#include "CapturePanel.h"
#include "platform/display/SwayFullScreen.h"

#include <QFuture>
#include <QTimer>
#include <QWidget>

namespace crel {

// The on-screen capture panel: a frameless override-redirect window over one
// display, above panels, docks and full-screen windows, out of the window
// manager's reach (no animation, no taskbar entry, never activated by a
// click). It takes the keyboard with an X grab rather than the input focus,
// so the window that had the focus keeps it and Escape still reaches us
// whatever a window manager or another client does with the focus.
//
// Under XWayland that grab holds only among X11 windows: a compositor gives
// the keys of its native programs to none of them but the one it manages
// and focuses. There a managed panel, full screen on the display the
// compositor chooses, takes the keyboard; it reports where it landed.
class ScreenCapturePanel final : public QWidget, public CapturePanel {
  Q_OBJECT

public:
  enum class Placement { overlay, managed };

  explicit ScreenCapturePanel(const geom::Rect &contentRect, Placement placement = Placement::overlay);
  ~ScreenCapturePanel() override;

  // The factory for the coordinator: panels are deleted through the event
  // loop, since one may be handling an event when it is let go.
  static CapturePanelFactory factory(Placement placement = Placement::overlay);

  geom::Rect frame() const override { return frame_; }
  void present() override;
  void makeKey() override;
  void orderOut() override;
  void captureWillEnd(bool captured) override { givesFullScreenBack_ = !captured; }
  void close() override;

  // The X server routes the keyboard to this panel now.
  bool hasKeyboardGrab() const { return grabbed_; }

protected:
  void installContentView(RegionSelectionView *view) override;
  void paintEvent(QPaintEvent *event) override;
  bool event(QEvent *event) override;
  bool eventFilter(QObject *watched, QEvent *event) override;

private:
  void prepareBackingStore();
  bool isRedundantRepaint(const QEvent *event) const;
  // Reports where the compositor put a managed panel: once it is active,
  // and whenever it moves.
  void notePlacement(bool activated);
  void tryGrabKeyboard();
  void releaseKeyboardGrab();

  geom::Rect frame_;
  const bool managed_;
  // Shown once the fresh user time has come, unless ordered out meanwhile.
  bool presenting_ = false;
  // sway's full-screen state, which a managed panel takes from the window
  // it covers. Given back at once, or, when an editor is about to open,
  // which sway would keep hidden behind that window, once it closes.
  SwayFullScreen swayFullScreen_;
  bool givesFullScreenBack_ = true;
  bool wantsKeyboard_ = false;
  bool grabbed_ = false;
  bool paintedSinceShown_ = false;
  // A grab fails while the window is not mapped yet, and while another
  // client holds the keyboard (our own global shortcut, until its keys are
  // released): retried until it holds.
  QTimer grabRetry_;
  // Faults the window's pixel buffer in on a worker thread.
  QFuture<void> backingStoreFill_;
};

} // namespace crel
