#pragma once

#include <QObject>
#include <QString>

#include <functional>

namespace crel {

class NotificationCenter;

// The one notification that says the application runs on a desktop
// without a tray, where a login launch would otherwise show nothing at all:
// how to capture and how to reach its window. A click on it opens the window.
class NoTrayNotice : public QObject {
  Q_OBJECT
public:
  static constexpr const char *identifier = "running-without-tray";

  // No centre: nothing is ever said.
  NoTrayNotice(NotificationCenter *center, std::function<void()> onClick, QObject *parent = nullptr);

  // Posts the notice where a notification service runs, at most once;
  // `shortcut` is the working capture shortcut's label, or empty.
  void post(const QString &shortcut);

private:
  NotificationCenter *center_;
  bool posted_ = false;
};

} // namespace crel
