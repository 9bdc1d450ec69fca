#include "NoTrayNotice.h"

#include "platform/base/Translate.h"
#include "platform/desktop/NotificationCenter.h"
#include "platform/files/AppIdentity.h"

#include <QLoggingCategory>

#include <utility>

namespace crel {

namespace {
Q_LOGGING_CATEGORY(lcNotice, "crel.shell", QtInfoMsg)
} // namespace

NoTrayNotice::NoTrayNotice(NotificationCenter *center, std::function<void()> onClick, QObject *parent)
    : QObject(parent), center_(center) {
  if (center_)
    connect(center_, &NotificationCenter::activated, this, [onClick = std::move(onClick)](const QString &posted) {
      if (posted == QLatin1String(identifier) && onClick)
        onClick();
    });
}

void NoTrayNotice::post(const QString &shortcut) {
  if (!center_ || std::exchange(posted_, true))
    return;
  const QString name = AppIdentity::name();
  const NotificationCenter::Request request{
      QLatin1String(identifier), crel::tr("%1 is running").arg(name),
      shortcut.isEmpty()
          ? crel::tr("Your desktop has no system tray. Start %1 again to open its window.").arg(name)
          : crel::tr("Your desktop has no system tray. Press %1 to capture an area, or start %2 again to open its "
                     "window.")
                .arg(shortcut, name),
      crel::tr("Open %1").arg(name)};
  NotificationCenter *center = center_;
  // Only where a notification service runs; anywhere else nothing is said.
  center->authorizationStatus([center, request](NotificationCenter::Authorization status) {
    if (status == NotificationCenter::Authorization::authorized)
      center->add(request, [](const std::optional<QString> &error) {
        if (error)
          qCWarning(lcNotice).noquote() << "no-tray notification:" << *error;
      });
  });
}

} // namespace crel
