#include "PreviewDomain.h"

#include <QFile>
#include <QFileInfo>
#include <QUuid>

namespace crel {

QString PreviewDomain::folder() { return QFileInfo(SettingsStore::standardPath()).absolutePath(); }

PreviewDomain::PreviewDomain(const QString &prefix)
    : name_(prefix + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper()),
      path_(folder() + QLatin1Char('/') + name_ + QStringLiteral(".ini")),
      store_(std::make_unique<SettingsStore>(path_)) {}

PreviewDomain::~PreviewDomain() {
  store_.reset();
  QFile::remove(path_);
  // QSettings may leave its lock file beside the domain.
  QFile::remove(path_ + QStringLiteral(".lock"));
}

} // namespace crel
