#pragma once

#include <QString>

namespace crel {

// The two typefaces every export uses, loaded from the bundle so text looks
// the same on every machine. Needs a QGuiApplication.
class BundledFonts {
public:
  // Registers the bundle's fonts once; later calls do nothing.
  static void ensureLoaded();
  static QString formalFamily();
  // The handwriting family when it is available, else the formal family.
  static QString doodleFamily();
  static bool hasFamily(const QString &family);

  // Tests name a family that does not exist to exercise the fallback.
  static void setDoodleFamilyForTesting(const QString &family);
};

} // namespace crel
