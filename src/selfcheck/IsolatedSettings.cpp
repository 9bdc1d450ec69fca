#include "IsolatedSettings.h"

#include <QDir>
#include <QFile>
#include <QUuid>

namespace crel::NativeTests {

IsolatedSettings::IsolatedSettings(const QString &folder, const QString &prefix)
    : name_(prefix + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper()),
      path_(QDir(folder).filePath(name_ + QStringLiteral(".ini"))), store_(std::make_unique<SettingsStore>(path_)) {}

IsolatedSettings::~IsolatedSettings() {
  // The store writes pending values when it goes; drop it before the file.
  store_.reset();
  QFile::remove(path_);
}

} // namespace crel::NativeTests
