#include "ShareableContent.h"

#include "platform/display/SnapshotProvider.h"
#include "platform/display/X11RootGrabber.h"

#include <QGuiApplication>
#include <QScreen>

namespace crel {

ShareableContent ShareableContent::current(X11RootGrabber &grabber) {
  // On Wayland the portal asks at each capture, and an X read would prove
  // nothing: every screen is offered.
  const bool portal = SnapshotProvider::isWaylandSession(QProcessEnvironment::systemEnvironment());
  std::vector<X11RootGrabber::Monitor> monitors;
  if (!portal) {
    monitors = grabber.monitors();
    grabber.grab(QRect(grabber.rootRect().topLeft(), QSize(1, 1)));
  }

  ShareableContent content;
  const QList<QScreen *> screens = QGuiApplication::screens();
  for (QScreen *screen : screens) {
    bool shown = portal;
    for (const auto &monitor : monitors)
      shown = shown || monitor.name == screen->name();
    // Without RandR monitors Qt shows the whole root as its one screen.
    shown = shown || (monitors.empty() && screens.size() == 1);
    if (shown)
      content.displays.push_back({SnapshotProvider::displayID(screen), screen->name(), QRectF(screen->geometry())});
  }
  return content;
}

} // namespace crel
