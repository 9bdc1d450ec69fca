#include "Ink.h"

#include "platform/base/Translate.h"
#include "platform/desktop/AppTheme.h"

#include <algorithm>

namespace crel {

const QList<Ink> &Ink::palette() {
  static const QList<Ink> inks = [] {
    const QColor primary = AppTheme::primary().toRgb();
    return QList<Ink>{
        {"Coral", 0.92, 0.25, 0.23}, {"Blue", primary.redF(), primary.greenF(), primary.blueF()},
        {"Green", 0.07, 0.57, 0.38}, {"Yellow", 0.95, 0.68, 0.08},
        {"White", 1, 1, 1},          {"Black", 0.08, 0.08, 0.10},
    };
  }();
  return inks;
}

Ink Ink::lemon() { return {"Lemon", 1, 0.88, 0.05}; }

Ink Ink::custom(const QColor &color) {
  QColor rgb = color.isValid() ? color.toRgb() : QColor(Qt::black);
  if (!rgb.isValid())
    rgb = QColor(Qt::black);
  // Extended-range colours clip into sRGB's gamut.
  return {"Custom", std::clamp(double(rgb.redF()), 0.0, 1.0), std::clamp(double(rgb.greenF()), 0.0, 1.0),
          std::clamp(double(rgb.blueF()), 0.0, 1.0)};
}

QString Ink::displayName() const {
  static const char *const known[] = {
      QT_TRANSLATE_NOOP("Crel", "Lemon"), QT_TRANSLATE_NOOP("Crel", "Mint"),  QT_TRANSLATE_NOOP("Crel", "Pink"),
      QT_TRANSLATE_NOOP("Crel", "Sky"),   QT_TRANSLATE_NOOP("Crel", "Lilac"), QT_TRANSLATE_NOOP("Crel", "Coral"),
      QT_TRANSLATE_NOOP("Crel", "Blue"),  QT_TRANSLATE_NOOP("Crel", "Green"), QT_TRANSLATE_NOOP("Crel", "Yellow"),
      QT_TRANSLATE_NOOP("Crel", "White"), QT_TRANSLATE_NOOP("Crel", "Black"), QT_TRANSLATE_NOOP("Crel", "Custom"),
  };
  for (const char *k : known)
    if (name == QLatin1String(k))
      return tr(k);
  return name;
}

QColor Ink::color(double alpha) const { return QColor::fromRgbF(float(red), float(green), float(blue), float(alpha)); }

void Ink::encode(JsonWriter &w) const {
  w.beginObject();
  w.field("name", name);
  w.field("red", red);
  w.field("green", green);
  w.field("blue", blue);
  w.endObject();
}

Ink Ink::decode(const QJsonValue &v) {
  const JsonObjectReader r(v, "Ink");
  return {r.required("name", json::toString), r.required("red", json::toDouble), r.required("green", json::toDouble),
          r.required("blue", json::toDouble)};
}

} // namespace crel
