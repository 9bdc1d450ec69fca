#include "PixelColor.h"

namespace crel {

QString PixelColor::hex() const {
  QString text = QString::asprintf("#%02X%02X%02X", red, green, blue);
  if (alpha != 255)
    text += QString::asprintf("%02X", alpha);
  return text;
}

} // namespace crel
