#include "AppIdentity.h"

#include "ResourceLocator.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QJsonObject>

namespace crel {

QString AppIdentity::name() {
  const QJsonValue display = ResourceLocator::infoDictionary().value("CFBundleDisplayName");
  if (display.isString())
    return display.toString();
  const QString bundle = ResourceLocator::bundleDirectory();
  if (!bundle.isEmpty())
    return QFileInfo(bundle).completeBaseName();
  return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}

QString AppIdentity::identifier() {
  const QJsonValue id = ResourceLocator::infoDictionary().value("CFBundleIdentifier");
  if (id.isString() && !id.toString().isEmpty())
    return id.toString();
  return QString::fromLatin1(defaultIdentifier);
}

} // namespace crel
