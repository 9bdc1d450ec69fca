#include "SnapshotProvider.h"

#include "X11SnapshotProvider.h"

#include <QHash>
#include <QMutex>
#include <QPointer>
#include <QScreen>

namespace crel {

quint32 SnapshotProvider::displayID(const QString &screenName) {
  static QMutex mutex;
  static QHash<QString, quint32> ids;
  QMutexLocker lock(&mutex);
  auto it = ids.constFind(screenName);
  if (it != ids.constEnd())
    return *it;
  const quint32 id = quint32(ids.size()) + 1;
  ids.insert(screenName, id);
  return id;
}

quint32 SnapshotProvider::displayID(const QScreen *screen) { return displayID(screen->name()); }

std::optional<SnapshotError> SnapshotProvider::sessionRefusal(const QProcessEnvironment &environment) {
  // Under XWayland a root grab succeeds but shows native Wayland windows as
  // black: that would be a failure reported as success.
  if (!environment.value("WAYLAND_DISPLAY").isEmpty() ||
      environment.value("XDG_SESSION_TYPE").compare("wayland", Qt::CaseInsensitive) == 0)
    return SnapshotError::waylandSession();
  return std::nullopt;
}

std::unique_ptr<SnapshotProvider> SnapshotProvider::createDefault() { return std::make_unique<X11SnapshotProvider>(); }

void SnapshotProvider::deliver(QObject *receiver, const SnapshotRequest &request, Completion done,
                               std::vector<DisplayStill> stills, std::exception_ptr error) {
  QPointer<QObject> guard(receiver);
  QMetaObject::invokeMethod(
      receiver,
      [guard, request, done = std::move(done), stills = std::move(stills), error]() mutable {
        if (guard && !request.isCancelled())
          done(std::move(stills), error);
      },
      Qt::QueuedConnection);
}

SnapshotRequest FakeSnapshotProvider::takeDisplays(QObject *receiver, Completion done) {
  ++requestCount;
  SnapshotRequest request;
  if (error)
    deliver(receiver, request, std::move(done), {}, error);
  else if (stills.empty())
    deliver(receiver, request, std::move(done), {}, std::make_exception_ptr(SnapshotError::noDisplay()));
  else
    deliver(receiver, request, std::move(done), stills, nullptr);
  return request;
}

} // namespace crel
