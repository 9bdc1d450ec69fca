#include "X11SnapshotProvider.h"

#include "X11RootGrabber.h"
#include "platform/base/FreedMemory.h"

#include <QColorSpace>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>

#include <cmath>
#include <utility>

namespace crel {

namespace {

// Keeps the shared root image alive for as long as a still looks into it.
void releaseShared(void *info) { delete static_cast<QImage *>(info); }

QImage viewInto(const QImage &whole, const QRect &part) {
  const uchar *start = whole.constBits() + qsizetype(part.y()) * whole.bytesPerLine() + qsizetype(part.x()) * 4;
  return QImage(start, part.width(), part.height(), whole.bytesPerLine(), whole.format(), releaseShared,
                new QImage(whole));
}

bool sizeMatches(double logical, qreal scale, int native) {
  const double expected = std::max(1.0, std::round(logical * scale));
  return std::abs(expected - native) <= 1;
}

} // namespace

X11SnapshotProvider::X11SnapshotProvider(QByteArray displayName)
    : grabber_(std::make_shared<X11RootGrabber>(std::move(displayName))) {
  pool_.setMaxThreadCount(1);
  trim_.setSingleShot(true);
  trim_.setInterval(30'000);
  QObject::connect(&trim_, &QTimer::timeout, [this] {
    holding_ = false;
    pool_.start([grabber = grabber_] {
      grabber->releaseIdleMemory();
      FreedMemory::release();
    });
  });
}

X11SnapshotProvider::~X11SnapshotProvider() {
  pool_.waitForDone();
  if (holding_)
    FreedMemory::release();
}

void X11SnapshotProvider::setSharedMemoryAllowed(bool allowed) {
  pool_.waitForDone();
  grabber_->setSharedMemoryAllowed(allowed);
}

std::vector<DisplayStill> X11SnapshotProvider::grabScreens(X11RootGrabber &grabber,
                                                           const std::vector<Screen> &screens) {
  if (screens.empty())
    throw SnapshotError::noDisplay();
  const std::vector<X11RootGrabber::Monitor> monitors = grabber.monitors();
  const QRect root = grabber.rootRect();

  std::vector<QRect> native;
  QRect bounds;
  for (const Screen &screen : screens) {
    QRect rect;
    for (const auto &monitor : monitors)
      if (monitor.name == screen.name) {
        rect = monitor.rect;
        break;
      }
    // Without RandR monitors Qt shows the whole root as its one screen.
    if (rect.isNull() && monitors.empty() && screens.size() == 1)
      rect = root;
    rect &= root;
    if (rect.isEmpty() || !sizeMatches(screen.frame.width(), screen.scaleFactor, rect.width()) ||
        !sizeMatches(screen.frame.height(), screen.scaleFactor, rect.height()))
      throw SnapshotError::displayChanged();
    native.push_back(rect);
    bounds |= rect;
  }

  QImage whole = grabber.grab(bounds);
  std::vector<DisplayStill> stills;
  for (size_t i = 0; i < screens.size(); ++i) {
    QImage image = viewInto(whole, native[i].translated(-bounds.topLeft()));
    image.setDevicePixelRatio(screens[i].scaleFactor);
    image.setColorSpace(QColorSpace::SRgb);
    stills.push_back({screens[i].displayID, screens[i].name, screens[i].frame, screens[i].scaleFactor, image});
  }
  return stills;
}

SnapshotRequest X11SnapshotProvider::takeDisplays(QObject *receiver, Completion done) {
  SnapshotRequest request;
  trim_.start();
  if (!std::exchange(holding_, true))
    FreedMemory::hold();
  const QList<QScreen *> qtScreens = QGuiApplication::screens();
  if (qtScreens.isEmpty()) {
    deliver(receiver, request, std::move(done), {}, std::make_exception_ptr(SnapshotError::noDisplay()));
    return request;
  }
  if (auto refusal = sessionRefusal(QProcessEnvironment::systemEnvironment())) {
    deliver(receiver, request, std::move(done), {}, std::make_exception_ptr(*refusal));
    return request;
  }

  // The relay lives on the main thread until the result arrives; it also
  // watches for screens coming, going or moving while the worker reads them.
  const std::vector<Screen> screens = currentScreens();
  Watch watch = watchScreens(receiver, request, std::move(done));
  QObject *relay = watch.relay;
  Finish finish = std::move(watch.finish);

  std::shared_ptr<X11RootGrabber> grabber = grabber_;
  pool_.start([relay, grabber, screens, request, finish]() mutable {
    std::vector<DisplayStill> stills;
    std::exception_ptr error;
    if (!request.isCancelled()) {
      try {
        stills = grabScreens(*grabber, screens);
      } catch (...) {
        error = std::current_exception();
      }
    }
    QMetaObject::invokeMethod(
        relay, [finish, stills = std::move(stills), error]() mutable { finish(std::move(stills), error); },
        Qt::QueuedConnection);
  });
  return request;
}

} // namespace crel
