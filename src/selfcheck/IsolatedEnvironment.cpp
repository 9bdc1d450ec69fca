#include "IsolatedEnvironment.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>

namespace crel::NativeTests {

IsolatedEnvironment::IsolatedEnvironment(const QString &folder)
    : settings_(folder, QStringLiteral("crel.selftest.")), annotation_(settings_.store()),
      editorSize_(settings_.store()) {
  AnnotationPreferences::overrideShared(&annotation_);
  EditorSizePreferences::overrideShared(&editorSize_);
  Pasteboard::overrideGeneral(&pasteboard_);
  const QString qtSettings = QDir(folder).filePath(QStringLiteral("qt-settings"));
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, qtSettings);
  QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, qtSettings);
}

IsolatedEnvironment::~IsolatedEnvironment() {
  const QString userConfig = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, userConfig);
  QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, userConfig);
  Pasteboard::overrideGeneral(nullptr);
  EditorSizePreferences::overrideShared(nullptr);
  AnnotationPreferences::overrideShared(nullptr);
}

} // namespace crel::NativeTests
