#include "UpdateAddress.h"

#include <QHostAddress>

namespace crel::update {

bool UpdateAddress::isPermitted(const QUrl &url) {
  if (!url.isValid() || url.isRelative())
    return false;
  const QString scheme = url.scheme();
  if (scheme == QLatin1String("https"))
    return !url.host().isEmpty();
  if (scheme == QLatin1String("file"))
    return url.host().isEmpty() && !url.path().isEmpty();
  // A name such as "localhost" is not trusted: only a literal loopback address.
  return scheme == QLatin1String("http") && QHostAddress(url.host()).isLoopback();
}

bool UpdateAddress::isPermittedRedirect(const QUrl &url) {
  return url.scheme() != QLatin1String("file") && isPermitted(url);
}

} // namespace crel::update
