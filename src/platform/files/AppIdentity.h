#pragma once

#include <QIcon>
#include <QString>
#include <QStringList>

#include <optional>

namespace crel {

// The application's name, identifier, version and icon, read from the
// bundle's Info.json (readable before the application object exists).
class AppIdentity {
public:
  static constexpr const char *defaultIdentifier = "co.quorvex.crel";
  // The identifier of the copy the acceptance harness drives.
  static constexpr const char *fixtureIdentifier = "co.quorvex.crel-acceptance-fixture";

  // "CFBundleDisplayName" when it is text; else the bundle's folder name
  // without its extension; else the executable's name. Made safe as one path
  // component (it names the saved-images folder). Read on every call.
  static QString name();
  // "CFBundleIdentifier" when it is text; else the default identifier.
  static QString identifier();
  // "CFBundleIdentifier" exactly as the bundle states it; absent without a
  // bundle or without the key.
  static std::optional<QString> bundleIdentifier();
  static bool isAcceptanceFixture();
  // "CFBundleShortVersionString" and "CFBundleVersion"; empty when absent.
  static QString version();
  static QString buildVersion();

  // The icon's rendered sizes in the bundle, Resources/icons/hicolor/<N>x<N>/
  // apps/crel.png, smallest first; those that exist.
  static constexpr int iconSizes[] = {16, 32, 48, 64, 128, 256};
  static QStringList iconFiles();
  // The rendered sizes when they load; else the application's window icon;
  // else a plain drawn mark. Computed once, on first use, after the
  // application object exists.
  static QIcon icon();

  // `name` as one safe path component: blank, "." and ".." give "Crel"; "/"
  // and NUL become "-".
  static QString pathSafeName(const QString &name);
};

} // namespace crel
