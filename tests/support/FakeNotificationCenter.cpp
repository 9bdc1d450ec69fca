#include "FakeNotificationCenter.h"

namespace crel {

void FakeNotificationCenter::authorizationStatus(StatusHandler done) {
  ++statusQueries;
  done(status);
}

void FakeNotificationCenter::requestAuthorization(ErrorHandler done) {
  ++authorizationRequests;
  if (statusAfterRequest)
    status = *statusAfterRequest;
  done(requestError);
}

void FakeNotificationCenter::add(const Request &request, ErrorHandler done) {
  if (!addError)
    posted << request;
  done(addError);
}

void FakeNotificationCenter::removeDelivered(const QString &identifier) { removed << identifier; }

void FakeNotificationCenter::click(const QString &identifier) { Q_EMIT activated(identifier); }

} // namespace crel
