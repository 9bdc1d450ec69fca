#include "MarkValidation.h"

#include "CrelDocument.h"

#include "platform/files/JsonReader.h"
#include "platform/image/ImageDecoder.h"

#include <algorithm>
#include <cmath>

namespace crel::MarkValidation {

namespace {

struct Problem {
  const char *field = nullptr;
  double value = 0;
};

bool coordinateAllowed(QPointF p) {
  return within(p.x(), -maxCoordinate, maxCoordinate) && within(p.y(), -maxCoordinate, maxCoordinate);
}

// The first field of `m` outside the limits, in declaration order.
std::optional<Problem> firstProblem(const Mark &m) {
  const auto point = [](const char *field, QPointF p) -> std::optional<Problem> {
    if (coordinateAllowed(p))
      return std::nullopt;
    return Problem{field, within(p.x(), -maxCoordinate, maxCoordinate) ? p.y() : p.x()};
  };
  const auto number = [](const char *field, double value, double low, double high) -> std::optional<Problem> {
    if (within(value, low, high))
      return std::nullopt;
    return Problem{field, value};
  };
  if (auto p = point("start", m.start))
    return p;
  if (auto p = point("end", m.end))
    return p;
  if (m.points.size() > maxPoints)
    return Problem{"points", double(m.points.size())};
  for (const QPointF &q : m.points)
    if (auto p = point("points", q))
      return p;
  for (const double c : {m.ink.red, m.ink.green, m.ink.blue})
    if (!std::isfinite(c))
      return Problem{"ink", c};
  if (auto p = number("width", m.width, 0, maxWidth))
    return p;
  if (auto p = number("arrowHeadScale", m.arrowHeadScale, 0, maxArrowHeadScale))
    return p;
  if (auto p = number("fontSize", m.fontSize, 0, maxFontSize))
    return p;
  if (auto p = number("textBoxWidth", m.textBoxWidth, 0, maxWidth))
    return p;
  if (m.regions) {
    if (m.regions->size() > maxPoints)
      return Problem{"regions", double(m.regions->size())};
    for (const geom::Rect &r : *m.regions) {
      if (auto p = point("regions", QPointF(r.minX(), r.minY())))
        return p;
      if (auto p = point("regions", QPointF(r.maxX(), r.maxY())))
        return p;
    }
  }
  if (m.opacity)
    if (auto p = number("opacity", *m.opacity, 0, 1))
      return p;
  if (m.highlightDarkRegions && m.highlightDarkRegions->size() > maxPoints)
    return Problem{"highlightDarkRegions", double(m.highlightDarkRegions->size())};
  if (m.blurStrength)
    if (auto p = number("blurStrength", *m.blurStrength, 0, maxBlurStrength))
      return p;
  if (m.rotation && !std::isfinite(*m.rotation))
    return Problem{"rotation", *m.rotation};
  return std::nullopt;
}

double cut(double value, double low, double high) { return std::isnan(value) ? value : std::clamp(value, low, high); }

// Every coordinate of `m` through `f`.
template <class F> void eachCoordinate(Mark &m, F f) {
  f(m.start);
  f(m.end);
  for (QPointF &p : m.points)
    f(p);
  if (m.regions)
    for (geom::Rect &r : *m.regions) {
      const QPointF low0(r.minX(), r.minY()), high0(r.maxX(), r.maxY());
      QPointF low = low0, high = high0;
      f(low);
      f(high);
      if (!geom::exactlyEqual(low, low0) || !geom::exactlyEqual(high, high0))
        r = geom::Rect(low.x(), low.y(), high.x() - low.x(), high.y() - low.y());
    }
}

// The shift along one axis that brings [low, high] inside the range, or as
// close to its middle as it fits.
double shiftInside(double low, double high) {
  if (!(low < -maxCoordinate || high > maxCoordinate) || !std::isfinite(low) || !std::isfinite(high))
    return 0;
  if (high - low > 2 * maxCoordinate)
    return -(low + high) / 2;
  return low < -maxCoordinate ? -maxCoordinate - low : maxCoordinate - high;
}

} // namespace

void check(const Mark &m) {
  if (const std::optional<Problem> p = firstProblem(m))
    throw JsonDecodingError(QStringLiteral("Mark: \"%1\" is out of range (%2)")
                                .arg(QLatin1String(p->field), QString::number(p->value))
                                .toStdString());
}

bool inkAllowed(const Ink &ink) { return within(ink.red, 0, 1) && within(ink.green, 0, 1) && within(ink.blue, 0, 1); }

bool withinLimits(const Mark &mark) { return !firstProblem(mark); }

Mark clamped(const Mark &mark) {
  Mark m = mark;
  if (m.points.size() > maxPoints) {
    // Evenly thinned, both ends kept.
    QList<QPointF> thinned;
    thinned.reserve(maxPoints);
    const double stride = double(m.points.size() - 1) / double(maxPoints - 1);
    for (qsizetype i = 0; i < maxPoints; ++i)
      thinned.append(m.points[std::min<qsizetype>(qsizetype(std::llround(double(i) * stride)), m.points.size() - 1)]);
    m.points = thinned;
  }
  if (m.regions && m.regions->size() > maxPoints)
    m.regions->resize(maxPoints);
  if (m.highlightDarkRegions && m.highlightDarkRegions->size() > maxPoints)
    m.highlightDarkRegions->resize(maxPoints);

  double x0 = INFINITY, y0 = INFINITY, x1 = -INFINITY, y1 = -INFINITY;
  eachCoordinate(m, [&](QPointF &p) {
    x0 = std::min(x0, p.x());
    y0 = std::min(y0, p.y());
    x1 = std::max(x1, p.x());
    y1 = std::max(y1, p.y());
  });
  const QPointF shift(shiftInside(x0, x1), shiftInside(y0, y1));
  eachCoordinate(m, [&](QPointF &p) {
    p = QPointF(cut(p.x() + shift.x(), -maxCoordinate, maxCoordinate),
                cut(p.y() + shift.y(), -maxCoordinate, maxCoordinate));
  });

  return withSettingsClamped(m);
}

Mark withSettingsClamped(Mark m) {
  m.width = cut(m.width, 0, maxWidth);
  m.arrowHeadScale = cut(m.arrowHeadScale, 0, maxArrowHeadScale);
  m.fontSize = cut(m.fontSize, 0, maxFontSize);
  m.textBoxWidth = cut(m.textBoxWidth, 0, maxWidth);
  if (m.opacity)
    m.opacity = cut(*m.opacity, 0, 1);
  if (m.blurStrength)
    m.blurStrength = cut(*m.blurStrength, 0, maxBlurStrength);
  return m;
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
