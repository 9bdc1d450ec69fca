#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

namespace crel {

// Finds the application directory (Crel.app) and its resources. The bundle is
// the parent of the executable's bin/ when it holds Info.json; programs that
// live outside a bundle (tests, tools) name it through CREL_BUNDLE_DIR.
class ResourceLocator {
public:
  // Empty when no bundle can be found.
  static QString bundleDirectory();
  // The same with links resolved, as desktop entries name it; as found when
  // it cannot be resolved.
  static QString canonicalBundleDirectory();
  // Info.json of the bundle; empty when absent or unreadable.
  static QJsonObject infoDictionary();
  // Path of Resources/<name>.<type> (or Resources/<name> when type is empty);
  // empty when the file does not exist.
  static QString resourcePath(const QString &name, const QString &type = {});
  static QString resourcesDirectory();

  // Tests point the locator at another bundle; an empty path restores discovery.
  static void setBundleDirectoryOverride(const QString &path);
  // The application itself: its identity comes from where its executable
  // lies, never from CREL_BUNDLE_DIR. Call before the first lookup.
  static void discoverFromExecutableOnly();
  // The folder of the running executable (resolved), bundle or not.
  static QString executableDirectory();
  // A helper program in the bundle's bin/; empty without a bundle or when it
  // is not an executable file there. Nothing outside the bundle is ever
  // offered: a copy whose helper is gone fails rather than run another's.
  static QString helperProgram(const QString &name);
};

} // namespace crel
