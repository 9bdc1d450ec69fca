#include "ResourceLocator.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QMutex>

namespace crel {

namespace {

QMutex mutex;
QString overridePath;
bool discovered = false;
bool executableOnly = false;
QString discoveredPath;

bool isBundle(const QString &dir) { return !dir.isEmpty() && QFileInfo(dir + "/Info.json").isFile(); }

QString discover() {
  const QFileInfo exe(QFile::symLinkTarget("/proc/self/exe"));
  if (exe.exists()) {
    const QDir binDir = exe.absoluteDir();
    if (binDir.dirName() == QLatin1String("bin")) {
      const QString candidate = QFileInfo(binDir.absolutePath()).absolutePath();
      if (isBundle(candidate))
        return QDir::cleanPath(candidate);
    }
  }
  if (executableOnly)
    return {};
  const QString fromEnv = qEnvironmentVariable("CREL_BUNDLE_DIR");
  if (isBundle(fromEnv))
    return QDir::cleanPath(QFileInfo(fromEnv).absoluteFilePath());
  return {};
}

} // namespace

QString ResourceLocator::canonicalBundleDirectory() {
  const QString bundle = bundleDirectory();
  const QString canonical = QFileInfo(bundle).canonicalFilePath();
  return canonical.isEmpty() ? bundle : canonical;
}

QString ResourceLocator::bundleDirectory() {
  QMutexLocker lock(&mutex);
  if (!overridePath.isEmpty())
    return overridePath;
  if (!discovered) {
    discoveredPath = discover();
    discovered = true;
  }
  return discoveredPath;
}

void ResourceLocator::setBundleDirectoryOverride(const QString &path) {
  QMutexLocker lock(&mutex);
  overridePath = path.isEmpty() ? QString() : QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

void ResourceLocator::discoverFromExecutableOnly() {
  QMutexLocker lock(&mutex);
  executableOnly = true;
  discovered = false;
}

QString ResourceLocator::executableDirectory() {
  return QFileInfo(QFile::symLinkTarget("/proc/self/exe")).absolutePath();
}

QString ResourceLocator::helperProgram(const QString &name) {
  const QString bundle = bundleDirectory();
  if (bundle.isEmpty())
    return {};
  const QString path = bundle + QStringLiteral("/bin/") + name;
  const QFileInfo info(path);
  return info.isFile() && info.isExecutable() ? path : QString();
}

QJsonObject ResourceLocator::infoDictionary() {
  const QString dir = bundleDirectory();
  if (dir.isEmpty())
    return {};
  QFile file(dir + "/Info.json");
  if (!file.open(QIODevice::ReadOnly))
    return {};
  return QJsonDocument::fromJson(file.readAll()).object();
}

QString ResourceLocator::resourcesDirectory() {
  const QString dir = bundleDirectory();
  return dir.isEmpty() ? QString() : dir + "/Resources";
}

QString ResourceLocator::resourcePath(const QString &name, const QString &type) {
  const QString dir = resourcesDirectory();
  if (dir.isEmpty())
    return {};
  const QString path = dir + '/' + name + (type.isEmpty() ? QString() : '.' + type);
  return QFileInfo(path).isFile() ? path : QString();
}

} // namespace crel
