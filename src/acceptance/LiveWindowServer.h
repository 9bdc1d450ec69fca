#pragma once

#include "WindowServer.h"

#include <QImage>
#include <QRect>

#include <memory>
#include <optional>
#include <vector>

class QWidget;

namespace crel {

// The X server as the live capture needs it: which foreign window covers a
// window, ordering below it, and a window's own composed picture through
// the Composite extension (its contents even where others lie above it).
class LiveWindowServer {
public:
  // A top-level window as the cover search sees it; bounds in X pixels.
  struct Candidate {
    quint32 window = 0; // the client window
    int layer = 0;      // 0 for normal managed windows; above, docks and unmanaged windows are higher
    double alpha = 1;   // _NET_WM_WINDOW_OPACITY, 1 when unset
    std::optional<qint64> pid;
    QRect bounds; // the window-manager frame
  };
  struct Cover {
    quint32 window = 0;
    QRect bounds;
  };

  LiveWindowServer();
  ~LiveWindowServer();
  LiveWindowServer(const LiveWindowServer &) = delete;
  LiveWindowServer &operator=(const LiveWindowServer &) = delete;

  // An X11 session (Qt on xcb) whose server has the Composite extension.
  bool canCapture() const;

  // The first window, front to back, on layer 0, fully opaque, of another
  // process, and at least `needed` in both directions.
  static std::optional<Cover> chooseCover(const std::vector<Candidate> &frontToBack, QSize needed, qint64 ownPid);

  // Shows `window` and looks for its cover among the on-screen windows: one
  // at least its frame + 80 points each way. Hides the window again when
  // there is none.
  std::optional<Cover> findCover(QWidget &window);

  // Centres `window` on the cover, orders it just below, lets it settle for
  // 1.5 s and returns its frame as composed, `scale` pixels per point.
  QImage captureBelow(QWidget &window, const Cover &cover, double scale);

private:
  std::vector<Candidate> windowsFrontToBack();

  std::unique_ptr<acceptance::WindowServer> server_; // none off X11
  bool composite_ = false;
};

} // namespace crel
