#pragma once

#include <QString>

namespace crel {

// The application's name and identifier, read from the bundle's Info.json.
class AppIdentity {
public:
  static constexpr const char *defaultIdentifier = "co.quorvex.crel";

  // "CFBundleDisplayName" when it is text; else the bundle's folder name
  // without its extension; else the executable's name. Read on every call.
  static QString name();
  // "CFBundleIdentifier" when it is text; else the default identifier.
  static QString identifier();
};

} // namespace crel
