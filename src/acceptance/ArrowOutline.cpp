#include "ArrowOutline.h"

#include <array>
#include <charconv>

namespace crel::ArrowOutline {

namespace {

// printf would follow LC_NUMERIC, which the application object sets from the
// environment ("12,50" under a German locale).
void appendNumber(QByteArray &out, double v) {
  std::array<char, 64> buffer{};
  const auto [end, error] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), v, std::chars_format::fixed, 2);
  if (error != std::errc())
    throw std::runtime_error("The arrow outline holds a number that cannot be written.");
  out.append(buffer.data(), end - buffer.data());
}

void appendPoint(QByteArray &out, QPointF p, QPointF origin) {
  appendNumber(out, p.x() - origin.x());
  out.append(' ');
  appendNumber(out, p.y() - origin.y());
}

} // namespace

QByteArray svg(const MarkPath &path) {
  const geom::Rect box = path.boundingBox().insetBy(-1, -1);
  if (box.isNull())
    throw std::runtime_error("The arrow outline is empty.");
  const QPointF origin(box.minX(), box.minY());
  QByteArray d;
  for (const MarkPath::Element &e : path.elements()) {
    switch (e.type) {
    case MarkPath::ElementType::moveTo:
      d.append('M');
      appendPoint(d, e.points[0], origin);
      break;
    case MarkPath::ElementType::lineTo:
      d.append('L');
      appendPoint(d, e.points[0], origin);
      break;
    case MarkPath::ElementType::curveTo:
      d.append('C');
      for (int i = 0; i < 3; ++i) {
        if (i > 0)
          d.append(' ');
        appendPoint(d, e.points[i], origin);
      }
      break;
    case MarkPath::ElementType::close: d.append('Z'); break;
    }
  }
  QByteArray out("<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 ");
  appendNumber(out, box.width());
  out.append(' ');
  appendNumber(out, box.height());
  out.append("\"><path d=\"");
  out.append(d);
  out.append("\"/></svg>\n");
  return out;
}

} // namespace crel::ArrowOutline
