#pragma once

#include "platform/desktop/NotificationCenter.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace crel {

// A centre that records what it is asked; tests set its answers.
class FakeNotificationCenter : public NotificationCenter {
  Q_OBJECT
public:
  using NotificationCenter::NotificationCenter;

  Authorization status = Authorization::notDetermined;
  // Set by a granted request.
  std::optional<Authorization> statusAfterRequest;
  std::optional<QString> requestError;
  std::optional<QString> addError;
  QList<Request> posted;
  QStringList removed;
  int statusQueries = 0;
  int authorizationRequests = 0;

  void authorizationStatus(StatusHandler done) override;
  void requestAuthorization(ErrorHandler done) override;
  void add(const Request &request, ErrorHandler done) override;
  void removeDelivered(const QString &identifier) override;
  void click(const QString &identifier);
};

} // namespace crel
