#include "SnapshotProvider.h"

#include "PortalSnapshotProvider.h"
#include "X11SnapshotProvider.h"
#include "platform/desktop/WaylandSession.h"

#include <QGuiApplication>
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

bool SnapshotProvider::isWaylandSession(const QProcessEnvironment &environment) {
  return WaylandSession::active(environment);
}

std::optional<SnapshotError> SnapshotProvider::sessionRefusal(const QProcessEnvironment &environment) {
  // Under XWayland a root grab succeeds but shows native Wayland windows as
  // black: that would be a failure reported as success.
  if (isWaylandSession(environment))
    return SnapshotError::waylandSession();
  return std::nullopt;
}

std::unique_ptr<SnapshotProvider> SnapshotProvider::createDefault(const QProcessEnvironment &environment) {
  if (isWaylandSession(environment))
    return std::make_unique<PortalSnapshotProvider>();
  return std::make_unique<X11SnapshotProvider>();
}

std::vector<SnapshotProvider::Screen> SnapshotProvider::currentScreens() {
  std::vector<Screen> screens;
  for (QScreen *screen : QGuiApplication::screens())
    screens.push_back({displayID(screen), screen->name(), QRectF(screen->geometry()), screen->devicePixelRatio()});
  return screens;
}

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

SnapshotProvider::Watch SnapshotProvider::watchScreens(QObject *receiver, const SnapshotRequest &request,
                                                       Completion done) {
  auto *relay = new QObject;
  auto changed = std::make_shared<bool>(false);
  auto markChanged = [changed] { *changed = true; };
  QObject::connect(qApp, &QGuiApplication::screenAdded, relay, markChanged);
  QObject::connect(qApp, &QGuiApplication::screenRemoved, relay, markChanged);
  for (QScreen *screen : QGuiApplication::screens())
    QObject::connect(screen, &QScreen::geometryChanged, relay, markChanged);

  QPointer<QObject> guard(receiver);
  Finish finish = [relay, changed, guard, request, done = std::move(done)](std::vector<DisplayStill> stills,
                                                                           std::exception_ptr error) {
    relay->deleteLater();
    if (!guard || request.isCancelled())
      return;
    if (!error && *changed) {
      stills.clear();
      error = std::make_exception_ptr(SnapshotError::displayChanged());
    }
    done(std::move(stills), error);
  };
  return {relay, std::move(finish)};
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
