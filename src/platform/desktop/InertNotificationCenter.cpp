#include "InertNotificationCenter.h"

namespace crel {

InertNotificationCenter::InertNotificationCenter(QString refusal, QObject *parent)
    : NotificationCenter(parent), refusal_(std::move(refusal)) {}

void InertNotificationCenter::authorizationStatus(StatusHandler done) { done(Authorization::notDetermined); }

void InertNotificationCenter::requestAuthorization(ErrorHandler done) { done(std::nullopt); }

void InertNotificationCenter::add(const Request &, ErrorHandler done) { done(refusal_); }

void InertNotificationCenter::removeDelivered(const QString &) {}

} // namespace crel
