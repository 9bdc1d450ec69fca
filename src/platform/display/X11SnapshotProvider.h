#pragma once

#include "SnapshotProvider.h"

#include <QThreadPool>
#include <QTimer>

#include <memory>

namespace crel {

class X11RootGrabber;

// Stills of every QScreen from one read of the X root window, taken on a
// worker thread over a connection of its own (MIT-SHM when available).
class X11SnapshotProvider final : public SnapshotProvider {
public:
  // An empty name means $DISPLAY.
  explicit X11SnapshotProvider(QByteArray displayName = {});
  ~X11SnapshotProvider() override;

  SnapshotRequest takeDisplays(QObject *receiver, Completion done) override;

  void setSharedMemoryAllowed(bool allowed);

  // The worker's part, callable directly: matches each screen to its RandR
  // monitor, reads them all at once and cuts one still per screen. Throws
  // SnapshotError.
  static std::vector<DisplayStill> grabScreens(X11RootGrabber &grabber, const std::vector<Screen> &screens);

private:
  QThreadPool pool_; // one worker, so requests run in order
  std::shared_ptr<X11RootGrabber> grabber_;
  // The grab memory is kept for a quick next capture, then given back; the
  // heap keeps what captures free for as long (main thread).
  QTimer trim_;
  bool holding_ = false;
};

} // namespace crel
