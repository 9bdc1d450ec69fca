#include "MarkValidation.h"

#include "CrelDocument.h"

#include "platform/ImageDecoder.h"
#include "platform/JsonReader.h"

#include <cmath>

namespace crel::MarkValidation {

namespace {

void require(bool ok, const char *field, double value) {
  if (!ok)
    throw JsonDecodingError(QStringLiteral("Mark: \"%1\" is out of range (%2)")
                                .arg(QLatin1String(field), QString::number(value))
                                .toStdString());
}

void inRange(const char *field, double value, double low, double high) {
  require(std::isfinite(value) && value >= low && value <= high, field, value);
}

void coordinate(const char *field, QPointF p) {
  inRange(field, p.x(), -maxCoordinate, maxCoordinate);
  inRange(field, p.y(), -maxCoordinate, maxCoordinate);
}

} // namespace

void check(const Mark &m) {
  coordinate("start", m.start);
  coordinate("end", m.end);
  require(m.points.size() <= maxPoints, "points", double(m.points.size()));
  for (const QPointF &p : m.points)
    coordinate("points", p);
  inRange("width", m.width, 0, maxWidth);
  inRange("arrowHeadScale", m.arrowHeadScale, 0, maxArrowHeadScale);
  inRange("fontSize", m.fontSize, 0, maxFontSize);
  inRange("textBoxWidth", m.textBoxWidth, 0, maxCoordinate);
  if (m.regions) {
    require(m.regions->size() <= maxPoints, "regions", double(m.regions->size()));
    for (const geom::Rect &r : *m.regions) {
      coordinate("regions", QPointF(r.minX(), r.minY()));
      coordinate("regions", QPointF(r.maxX(), r.maxY()));
    }
  }
  if (m.opacity)
    inRange("opacity", *m.opacity, 0, 1);
  if (m.blurStrength)
    inRange("blurStrength", *m.blurStrength, 0, maxBlurStrength);
  if (m.rotation)
    require(std::isfinite(*m.rotation), "rotation", *m.rotation);
  for (const double c : {m.ink.red, m.ink.green, m.ink.blue})
    require(std::isfinite(c), "ink", c);
}

void checkCanvas(const geom::Rect &expanded) {
  const double area = expanded.width() * expanded.height();
  if (!(area <= ImageDecoder::maxPixels) || !CrelDocument::exportSizeAllowed(expanded))
    throw JsonDecodingError(QStringLiteral("The marks would grow the canvas to %1 x %2 pixels, more than 80 megapixels")
                                .arg(expanded.width())
                                .arg(expanded.height())
                                .toStdString());
}

} // namespace crel::MarkValidation
