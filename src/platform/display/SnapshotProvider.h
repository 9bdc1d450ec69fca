#pragma once

#include "DisplayStill.h"
#include "SnapshotError.h"

#include <QObject>
#include <QProcessEnvironment>
#include <QRectF>

#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QScreen;

namespace crel {

// Handle on one request for stills. Cancelling on the main thread guarantees
// the completion never runs afterwards; the grab itself may still finish.
class SnapshotRequest {
public:
  SnapshotRequest() : cancelled_(std::make_shared<std::atomic<bool>>(false)) {}
  void cancel() const { cancelled_->store(true); }
  bool isCancelled() const { return cancelled_->load(); }

private:
  std::shared_ptr<std::atomic<bool>> cancelled_;
};

// Freezes every display: one still per QScreen at its native resolution.
class SnapshotProvider {
public:
  // Exactly one of the two carries something: the stills (in no particular
  // order, never empty) or the error (usually a SnapshotError).
  using Completion = std::function<void(std::vector<DisplayStill> stills, std::exception_ptr error)>;

  virtual ~SnapshotProvider() = default;

  // Starts the grab and returns at once. `done` runs later on the thread of
  // `receiver` (the main thread), never inside this call, and not at all when
  // the request is cancelled or `receiver` is destroyed first.
  virtual SnapshotRequest takeDisplays(QObject *receiver, Completion done) = 0;

  // A small number per screen name, stable for the life of the process.
  static quint32 displayID(const QString &screenName);
  static quint32 displayID(const QScreen *screen);

  // A Wayland session, where the screen is read through the desktop portal.
  static bool isWaylandSession(const QProcessEnvironment &environment);
  // The refusal for sessions whose screen cannot be read through X11, if any.
  static std::optional<SnapshotError> sessionRefusal(const QProcessEnvironment &environment);

  // The provider for the session: the desktop portal on Wayland, the X
  // server otherwise.
  static std::unique_ptr<SnapshotProvider>
  createDefault(const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment());

  struct Screen {
    quint32 displayID;
    QString name;
    QRectF frame;
    qreal scaleFactor;
  };
  static std::vector<Screen> currentScreens();

protected:
  // Queues `done` on `receiver`'s thread with the same guarantees as above.
  static void deliver(QObject *receiver, const SnapshotRequest &request, Completion done,
                      std::vector<DisplayStill> stills, std::exception_ptr error);

  // The main-thread end of a request that completes elsewhere: from now on it
  // watches the screens, and `finish`, called on the relay's thread, hands the
  // outcome to `done`, or "a display changed" when a screen came, went or
  // moved meanwhile. The relay deletes itself in `finish`.
  using Finish = std::function<void(std::vector<DisplayStill> stills, std::exception_ptr error)>;
  struct Watch {
    QObject *relay;
    Finish finish;
  };
  static Watch watchScreens(QObject *receiver, const SnapshotRequest &request, Completion done);
};

// Hands out prepared stills or an error; for tests and self-checks.
class FakeSnapshotProvider final : public SnapshotProvider {
public:
  SnapshotRequest takeDisplays(QObject *receiver, Completion done) override;

  std::vector<DisplayStill> stills;
  std::exception_ptr error;
  int requestCount = 0;
};

} // namespace crel
