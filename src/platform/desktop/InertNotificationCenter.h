#pragma once

#include "NotificationCenter.h"

#include <QString>

namespace crel {

// A centre that shows nothing and asks nobody: whether notifications may be
// shown stays undetermined, a request for permission changes nothing, and
// every notification is refused with `refusal`. For windows drawn where no
// notification belongs, such as the settings preview.
class InertNotificationCenter : public NotificationCenter {
  Q_OBJECT
public:
  explicit InertNotificationCenter(QString refusal, QObject *parent = nullptr);

  void authorizationStatus(StatusHandler done) override;
  void requestAuthorization(ErrorHandler done) override;
  void add(const Request &request, ErrorHandler done) override;
  void removeDelivered(const QString &identifier) override;

private:
  QString refusal_;
};

} // namespace crel
