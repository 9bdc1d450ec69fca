#pragma once

#include "platform/files/JsonReader.h"
#include "platform/files/JsonWriter.h"

#include <QColor>
#include <QList>
#include <QString>

namespace crel {

// A named sRGB colour; components 0 to 1. Compared exactly.
struct Ink {
  QString name;
  double red = 0;
  double green = 0;
  double blue = 0;

  friend bool operator==(const Ink &, const Ink &) = default;

  // The six palette inks (Coral, Blue from the brand colour, Green, Yellow,
  // White, Black), built once on first use.
  static const QList<Ink> &palette();
  // The highlight tool's ink when it has none remembered.
  static Ink lemon();
  // A colour from a colour picker, as sRGB without alpha; black when the
  // colour cannot be converted.
  static Ink custom(const QColor &color);

  // Localised name for the known names; any other name unchanged.
  QString displayName() const;
  QColor color(double alpha = 1.0) const;

  void encode(JsonWriter &w) const;
  static Ink decode(const QJsonValue &v);
};

} // namespace crel
