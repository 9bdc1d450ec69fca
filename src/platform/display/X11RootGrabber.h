#pragma once

#include "SnapshotError.h"

#include <QByteArray>
#include <QImage>
#include <QRect>
#include <QString>

#include <memory>
#include <vector>

struct xcb_connection_t;
struct xcb_screen_t;

namespace crel {

// Reads the root window of one X screen over a connection of its own, so it
// can run on a worker thread without touching Qt's connection. Not
// thread-safe: use one instance from one thread at a time.
class X11RootGrabber {
public:
  struct Monitor {
    QString name;
    QRect rect; // root pixels
  };

  // An empty name means $DISPLAY.
  explicit X11RootGrabber(QByteArray displayName = {});
  ~X11RootGrabber();
  X11RootGrabber(const X11RootGrabber &) = delete;
  X11RootGrabber &operator=(const X11RootGrabber &) = delete;

  // The RandR monitors (active ones), or empty when RandR 1.5 is missing.
  // Throw SnapshotError.
  std::vector<Monitor> monitors();
  QRect rootRect();

  // One read of `area` (root pixels): everything in it is frozen at the same
  // instant. The result is Format_RGB32 (or a converted copy for other
  // depths) and owns its pixels. Throws SnapshotError.
  QImage grab(const QRect &area);

  // The failure an X error code stands for: the server refusing the read
  // (BadAccess) is a declined permission, anything else a plain failure.
  static SnapshotError errorForCode(int code);

  // MIT-SHM is used when the server shares memory with us; tests and the
  // benchmark turn it off to measure the plain path.
  void setSharedMemoryAllowed(bool allowed) { shmAllowed_ = allowed; }
  bool lastGrabUsedSharedMemory() const { return lastUsedShm_; }

  // Gives back the shared segment kept for the next grab once no still uses
  // it any more (it is as large as all displays together).
  void releaseIdleMemory();

private:
  struct Segment;
  static void releaseView(void *info);
  void connectIfNeeded();
  void disconnect();
  void dropSegment();
  QImage grabShared(const QRect &area);
  QImage grabPlain(const QRect &area);
  QImage wrap(uchar *data, const QRect &area, int bytesPerLine, void (*cleanup)(void *), void *info);

  QByteArray displayName_;
  xcb_connection_t *connection_ = nullptr;
  xcb_screen_t *screen_ = nullptr;
  int bitsPerPixel_ = 0;
  QImage::Format format_ = QImage::Format_Invalid;
  bool shmAllowed_ = true;
  bool shmWorks_ = true;
  bool lastUsedShm_ = false;
  // Attached to the server and reused while no image looks into it: fresh
  // segments cost page faults on both sides, more than the read itself.
  std::shared_ptr<Segment> segment_;
};

} // namespace crel
