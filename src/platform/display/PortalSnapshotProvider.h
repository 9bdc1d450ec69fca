#pragma once

#include "SnapshotProvider.h"
#include "WaylandOutputs.h"

namespace crel {

// Stills of every QScreen on a Wayland session: one non-interactive
// screenshot of the whole desktop through the freedesktop Screenshot portal
// on the session bus, cut into one still per display. A declined request is
// a declined permission; every other failure is a capture error.
class PortalSnapshotProvider final : public SnapshotProvider {
public:
  // The Screenshot portal as the session bus shows it, asked without taking
  // a screenshot.
  struct Status {
    enum class Presence { absent, withoutScreenshot, withoutAccess, present } presence = Presence::absent;
    uint version = 0;
    bool declined = false; // the user said no to screenshots for this application
    bool allowsCapture() const { return presence == Presence::present && !declined; }
    // Why a capture cannot go through, for a status that does not allow one.
    SnapshotError refusal() const;
  };
  static Status status(int timeoutMs = 5000);

  SnapshotRequest takeDisplays(QObject *receiver, Completion done) override;

  // Cuts a picture of the whole desktop into one still per screen at the
  // screen's native size. The picture covers the bounding box of the screens'
  // native rectangles (Qt keeps a screen's native top-left as its logical
  // one), at a scale of its own, the same on both axes. Throws SnapshotError:
  // "a display changed" when the picture does not fit the screens.
  //
  // Where the compositor told its `outputs` and each screen shows one of them
  // (WaylandOutputs::pair), the picture covers the outputs' logical layout
  // instead and each still gets its output's logical rectangle as its frame,
  // and its own pixels and scale: cut as they are where the picture holds
  // them at that scale on both axes, else `ownPixels` of the output, the
  // picture's part only as a last resort.
  using OwnPixels = std::function<QImage(const WaylandOutput &)>;
  static std::vector<DisplayStill> cutDesktop(const QImage &desktop, const std::vector<Screen> &screens,
                                              const std::vector<WaylandOutput> &outputs = {},
                                              const OwnPixels &ownPixels = {});
};

} // namespace crel
