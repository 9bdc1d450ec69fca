#include "Symbols.h"

#include "ChromeFonts.h"

#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <QPainterPathStroker>

#include <cmath>
#include <functional>

namespace crel::Symbols {

namespace {

// A symbol on a 20 by 20 design grid: lines stroked at the weight's width
// (round caps and joins), areas filled, and `cut` knocked out of the fill
// (the check in a filled circle) with a stroke of the same width.
struct Glyph {
  QPainterPath stroke, fill, cut;
  Qt::PenStyle strokeStyle = Qt::SolidLine;
};

using Builder = std::function<void(Glyph &)>;

void line(QPainterPath &p, QPointF a, QPointF b) {
  p.moveTo(a);
  p.lineTo(b);
}

void polyline(QPainterPath &p, std::initializer_list<QPointF> points) {
  auto it = points.begin();
  p.moveTo(*it);
  for (++it; it != points.end(); ++it)
    p.lineTo(*it);
}

void roundedRect(QPainterPath &p, QRectF r, double radius) { p.addRoundedRect(r, radius, radius); }

// `s` as outlines whose ink is `height` high, centred on `centre`.
QPainterPath text(const QString &s, QPointF centre, double height, QFont::Weight weight) {
  QFont font(ChromeFonts::family());
  font.setPixelSize(100);
  font.setWeight(weight);
  QPainterPath p;
  p.addText(0, 0, font, s);
  const QRectF b = p.boundingRect();
  const double scale = height / std::max(b.height(), 1.0);
  QTransform t;
  t.translate(centre.x(), centre.y());
  t.scale(scale, scale);
  t.translate(-b.center().x(), -b.center().y());
  return t.map(p);
}

void uturn(Glyph &g, bool backward) {
  QPainterPath p;
  p.moveTo(7, 16);
  p.lineTo(11.5, 16);
  p.arcTo(QRectF(7, 7, 9, 9), -90, 180);
  p.lineTo(4.5, 7);
  polyline(p, {{8, 3.5}, {4.5, 7}, {8, 10.5}});
  if (!backward)
    p = QTransform(-1, 0, 0, 1, 20, 0).map(p);
  g.stroke.addPath(p);
}

QPainterPath drop() {
  QPainterPath p;
  p.moveTo(10, 2.5);
  p.cubicTo(8.2, 5.3, 4.5, 8.8, 4.5, 12.2);
  p.arcTo(QRectF(4.5, 6.7, 11, 11), 180, 180);
  p.cubicTo(15.5, 8.8, 11.8, 5.3, 10, 2.5);
  p.closeSubpath();
  return p;
}

QPainterPath document(QRectF r) {
  QPainterPath p;
  roundedRect(p, r, 1.8);
  return p;
}

// The visible edges of a page behind another: its top and right side down
// to `bottom`, stopping where the front page covers it.
void backPage(QPainterPath &p, double bottom) {
  p.moveTo(7, 4.8);
  p.lineTo(7, 4.3);
  p.quadTo(7, 2.5, 8.8, 2.5);
  p.lineTo(14.7, 2.5);
  p.quadTo(16.5, 2.5, 16.5, 4.3);
  p.lineTo(16.5, bottom - 1.8);
  p.quadTo(16.5, bottom, 14.7, bottom);
  p.lineTo(14.2, bottom);
}

const QHash<QString, Builder> &builders() {
  static const QHash<QString, Builder> table = {
      {"plus",
       [](Glyph &g) {
         line(g.stroke, {10, 3.5}, {10, 16.5});
         line(g.stroke, {3.5, 10}, {16.5, 10});
       }},
      {"minus",
       [](Glyph &g) {
         line(g.stroke, {3.5, 10}, {16.5, 10});
       }},
      {"checkmark",
       [](Glyph &g) {
         polyline(g.stroke, {{4, 10.5}, {8, 14.5}, {16, 5.5}});
       }},
      {"chevron.down",
       [](Glyph &g) {
         polyline(g.stroke, {{4, 7.2}, {10, 13.2}, {16, 7.2}});
       }},
      {"circle", [](Glyph &g) { g.stroke.addEllipse(QPointF(10, 10), 7.5, 7.5); }},
      {"circle.dashed",
       [](Glyph &g) {
         g.stroke.addEllipse(QPointF(10, 10), 7.5, 7.5);
         g.strokeStyle = Qt::DashLine;
       }},
      {"rectangle",
       [](Glyph &g) {
         roundedRect(g.stroke, {2.5, 4.5, 15, 11}, 2);
       }},
      {"rectangle.dashed",
       [](Glyph &g) {
         roundedRect(g.stroke, {2.5, 4.5, 15, 11}, 2);
         g.strokeStyle = Qt::DashLine;
       }},
      {"triangle",
       [](Glyph &g) {
         polyline(g.stroke, {{10, 3.2}, {17.3, 16}, {2.7, 16}});
         g.stroke.closeSubpath();
       }},
      {"line.diagonal",
       [](Glyph &g) {
         line(g.stroke, {4, 16}, {16, 4});
       }},
      {"arrow.up.right",
       [](Glyph &g) {
         line(g.stroke, {4.5, 15.5}, {15, 5});
         polyline(g.stroke, {{7.5, 5}, {15, 5}, {15, 12.5}});
       }},
      {"arrow.uturn.backward", [](Glyph &g) { uturn(g, true); }},
      {"arrow.uturn.forward", [](Glyph &g) { uturn(g, false); }},
      {"cursorarrow",
       [](Glyph &g) {
         polyline(g.stroke, {{5.5, 2.5}, {5.5, 16}, {8.9, 12.8}, {11.2, 17.6}, {13.3, 16.7}, {11, 11.9}, {15.6, 11.9}});
         g.stroke.closeSubpath();
       }},
      {"scribble.variable",
       [](Glyph &g) {
         g.stroke.moveTo(2.5, 13);
         g.stroke.cubicTo(4, 5, 7.5, 4.5, 8, 9.5);
         g.stroke.cubicTo(8.5, 14.5, 11.5, 15, 12.5, 9.5);
         g.stroke.cubicTo(13.3, 5.5, 16.5, 5.5, 17.5, 11);
       }},
      {"textformat",
       [](Glyph &g) {
         g.fill = text("Aa", {10, 10}, 10, QFont::Bold);
       }},
      {"1.circle",
       [](Glyph &g) {
         g.stroke.addEllipse(QPointF(10, 10), 7.5, 7.5);
         g.fill = text("1", {10, 10}, 8, QFont::Bold);
       }},
      {"highlighter",
       [](Glyph &g) {
         QPainterPath pen;
         pen.moveTo(-2.6, -8);
         pen.lineTo(2.6, -8);
         pen.lineTo(2.6, 2.5);
         pen.lineTo(1.3, 5);
         pen.lineTo(-1.3, 5);
         pen.lineTo(-2.6, 2.5);
         pen.closeSubpath();
         line(pen, {-2.6, 2.5}, {2.6, 2.5});
         polyline(pen, {{-1.3, 5}, {-1.3, 7.3}, {1.3, 6.3}, {1.3, 5}});
         QTransform t;
         t.translate(11, 8.5);
         t.rotate(40);
         g.stroke.addPath(t.map(pen));
         line(g.stroke, {2.5, 17.5}, {9, 17.5});
       }},
      {"drop.halffull",
       [](Glyph &g) {
         const QPainterPath d = drop();
         g.stroke.addPath(d);
         QPainterPath half;
         half.addRect(QRectF(10, 0, 10, 20));
         g.fill = d.intersected(half);
       }},
      {"eye.slash",
       [](Glyph &g) {
         g.stroke.moveTo(2, 10);
         g.stroke.quadTo(10, 1.8, 18, 10);
         g.stroke.quadTo(10, 18.2, 2, 10);
         g.stroke.closeSubpath();
         g.stroke.addEllipse(QPointF(10, 10), 2.6, 2.6);
         line(g.stroke, {3.8, 3.8}, {16.2, 16.2});
       }},
      {"text.viewfinder",
       [](Glyph &g) {
         polyline(g.stroke, {{2.5, 6.5}, {2.5, 2.5}, {6.5, 2.5}});
         polyline(g.stroke, {{13.5, 2.5}, {17.5, 2.5}, {17.5, 6.5}});
         polyline(g.stroke, {{17.5, 13.5}, {17.5, 17.5}, {13.5, 17.5}});
         polyline(g.stroke, {{6.5, 17.5}, {2.5, 17.5}, {2.5, 13.5}});
         line(g.stroke, {6.5, 8}, {13.5, 8});
         line(g.stroke, {6.5, 12}, {11.5, 12});
       }},
      {"viewfinder",
       [](Glyph &g) {
         polyline(g.stroke, {{2.5, 7}, {2.5, 4.5}, {4.5, 2.5}, {7, 2.5}});
         polyline(g.stroke, {{13, 2.5}, {15.5, 2.5}, {17.5, 4.5}, {17.5, 7}});
         polyline(g.stroke, {{17.5, 13}, {17.5, 15.5}, {15.5, 17.5}, {13, 17.5}});
         polyline(g.stroke, {{7, 17.5}, {4.5, 17.5}, {2.5, 15.5}, {2.5, 13}});
         line(g.stroke, {10, 7.5}, {10, 12.5});
         line(g.stroke, {7.5, 10}, {12.5, 10});
       }},
      {"photo",
       [](Glyph &g) {
         roundedRect(g.stroke, {2.5, 4, 15, 12}, 2);
         g.fill.addEllipse(QPointF(7, 8), 1.5, 1.5);
         polyline(g.stroke, {{2.8, 14.6}, {7.5, 10.5}, {10.5, 13}, {13, 10.8}, {17.2, 14.4}});
       }},
      {"lock.shield",
       [](Glyph &g) {
         QPainterPath &p = g.stroke;
         p.moveTo(10, 2.2);
         p.cubicTo(12.3, 3.6, 14.6, 4.3, 16.8, 4.5);
         p.cubicTo(16.8, 11.5, 14.5, 15.6, 10, 17.8);
         p.cubicTo(5.5, 15.6, 3.2, 11.5, 3.2, 4.5);
         p.cubicTo(5.4, 4.3, 7.7, 3.6, 10, 2.2);
         p.closeSubpath();
         roundedRect(g.fill, {7.2, 9.4, 5.6, 4.4}, 0.9);
         g.stroke.moveTo(8.3, 9.6);
         g.stroke.lineTo(8.3, 8.4);
         g.stroke.arcTo(QRectF(8.3, 6.7, 3.4, 3.4), 180, -180);
         g.stroke.lineTo(11.7, 9.6);
       }},
      {"folder",
       [](Glyph &g) {
         QPainterPath &p = g.stroke;
         p.moveTo(2.5, 15);
         p.lineTo(2.5, 5.2);
         p.quadTo(2.5, 4, 3.7, 4);
         p.lineTo(7.6, 4);
         p.lineTo(9.3, 5.8);
         p.lineTo(16.3, 5.8);
         p.quadTo(17.5, 5.8, 17.5, 7);
         p.lineTo(17.5, 15);
         p.quadTo(17.5, 16.2, 16.3, 16.2);
         p.lineTo(3.7, 16.2);
         p.quadTo(2.5, 16.2, 2.5, 15);
         p.closeSubpath();
         line(p, {2.5, 8.3}, {17.5, 8.3});
       }},
      {"trash",
       [](Glyph &g) {
         line(g.stroke, {3.5, 5.5}, {16.5, 5.5});
         polyline(g.stroke, {{7.5, 5.5}, {7.5, 3}, {12.5, 3}, {12.5, 5.5}});
         polyline(g.stroke, {{5.2, 5.5}, {6.1, 17}, {13.9, 17}, {14.8, 5.5}});
         line(g.stroke, {8.5, 8.5}, {8.5, 14});
         line(g.stroke, {11.5, 8.5}, {11.5, 14});
       }},
      {"keyboard",
       [](Glyph &g) {
         roundedRect(g.stroke, {2, 5, 16, 10.5}, 2);
         for (double y : {8.0, 10.5})
           for (double x : {5.0, 7.5, 10.0, 12.5, 15.0})
             g.fill.addEllipse(QPointF(x, y), 0.75, 0.75);
         line(g.stroke, {7, 13}, {13, 13});
       }},
      {"bell.badge",
       [](Glyph &g) {
         QPainterPath &p = g.stroke;
         p.moveTo(3.8, 14.6);
         p.cubicTo(5.2, 13.3, 5.4, 11.8, 5.4, 10);
         p.lineTo(5.4, 8.2);
         p.cubicTo(5.4, 5.8, 7, 4, 9.2, 4);
         p.cubicTo(11.4, 4, 13, 5.8, 13, 8.2);
         p.lineTo(13, 10);
         p.cubicTo(13, 11.8, 13.2, 13.3, 14.6, 14.6);
         p.closeSubpath();
         p.moveTo(7.6, 16.8);
         p.cubicTo(8.1, 17.9, 10.3, 17.9, 10.8, 16.8);
         g.fill.addEllipse(QPointF(15.6, 4.4), 2.5, 2.5);
       }},
      {"lock.fill",
       [](Glyph &g) {
         roundedRect(g.fill, {4.5, 9, 11, 8.5}, 2);
         g.stroke.moveTo(7, 9.5);
         g.stroke.lineTo(7, 6.5);
         g.stroke.arcTo(QRectF(7, 3.5, 6, 6), 180, -180);
         g.stroke.lineTo(13, 9.5);
       }},
      {"doc.on.doc",
       [](Glyph &g) {
         backPage(g.stroke, 14);
         g.stroke.addPath(document({3.5, 5.5, 10, 12}));
       }},
      {"plus.square.on.square",
       [](Glyph &g) {
         backPage(g.stroke, 12);
         g.stroke.addPath(document({3.5, 5.5, 10.5, 10.5}));
         line(g.stroke, {8.75, 8.2}, {8.75, 13.3});
         line(g.stroke, {6.2, 10.75}, {11.3, 10.75});
       }},
      {"rotate.right",
       [](Glyph &g) {
         roundedRect(g.stroke, {3, 8.5, 9.5, 9}, 1.6);
         g.stroke.moveTo(7.5, 4.8);
         g.stroke.cubicTo(11.5, 3.6, 15.6, 5.8, 15.9, 10.3);
         polyline(g.stroke, {{13.7, 8.5}, {15.9, 10.7}, {18, 8.5}});
       }},
      {"text.word.spacing",
       [](Glyph &g) {
         line(g.stroke, {2.5, 6}, {7.5, 6});
         line(g.stroke, {12.5, 6}, {17.5, 6});
         line(g.stroke, {2.5, 10}, {17.5, 10});
         polyline(g.stroke, {{7.5, 12.5}, {7.5, 15}, {12.5, 15}, {12.5, 12.5}});
       }},
      {"square.grid.3x3.fill",
       [](Glyph &g) {
         for (int row = 0; row < 3; ++row)
           for (int col = 0; col < 3; ++col)
             roundedRect(g.fill, {2.5 + col * 5.3, 2.5 + row * 5.3, 4.2, 4.2}, 0.8);
       }},
      {"checkmark.circle.fill",
       [](Glyph &g) {
         g.fill.addEllipse(QPointF(10, 10), 8, 8);
         polyline(g.cut, {{6.2, 10.3}, {8.9, 13}, {13.9, 7.2}});
       }},
      {"exclamationmark.triangle.fill",
       [](Glyph &g) {
         QPainterPath t;
         polyline(t, {{10, 2.8}, {18, 16.6}, {2, 16.6}});
         t.closeSubpath();
         QPainterPathStroker rounder;
         rounder.setWidth(2.2);
         rounder.setJoinStyle(Qt::RoundJoin);
         g.fill = t.united(rounder.createStroke(t));
         line(g.cut, {10, 7.6}, {10, 11.4});
         g.cut.addEllipse(QPointF(10, 14.2), 0.2, 0.2);
       }},
      {"arrow.triangle.2.circlepath",
       [](Glyph &g) {
         QPainterPath &p = g.stroke;
         p.moveTo(3.6, 9.2);
         p.arcTo(QRectF(3.5, 3.5, 13, 13), 173, -143);
         polyline(p, {{11.6, 3.2}, {15.7, 6.6}, {16.6, 2.9}});
         p.moveTo(16.4, 10.8);
         p.arcTo(QRectF(3.5, 3.5, 13, 13), -7, -143);
         polyline(p, {{8.4, 16.8}, {4.3, 13.4}, {3.4, 17.1}});
       }},
  };
  return table;
}

double strokeFactor(QFont::Weight weight) {
  if (weight >= QFont::Black)
    return 0.17;
  if (weight >= QFont::ExtraBold)
    return 0.15;
  if (weight >= QFont::Bold)
    return 0.13;
  if (weight >= QFont::DemiBold)
    return 0.115;
  if (weight >= QFont::Medium)
    return 0.1;
  return 0.088;
}

} // namespace

QStringList names() {
  QStringList list = builders().keys();
  list.sort();
  return list;
}

bool has(const QString &name) { return builders().contains(name); }

double boxSide(double pointSize) { return pointSize * 1.45; }

bool paint(QPainter &painter, const QString &name, const QRectF &rect, double pointSize, QFont::Weight weight,
           const QColor &color) {
  const auto found = builders().find(name);
  if (found == builders().end())
    return false;
  Glyph glyph;
  found.value()(glyph);

  const QTransform device = painter.deviceTransform();
  const double dpr = std::max(1.0, std::hypot(device.m11(), device.m12()));
  const double side = boxSide(pointSize);
  // Snap the box to whole device pixels so the grid's lines land crisply.
  QPointF origin = rect.center() - QPointF(side / 2, side / 2);
  origin = QPointF(std::round(origin.x() * dpr) / dpr, std::round(origin.y() * dpr) / dpr);
  const double scale = side / 20;
  const double width = pointSize * strokeFactor(weight) / scale;

  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  painter.translate(origin);
  painter.scale(scale, scale);
  QPen pen(color, width, glyph.strokeStyle, Qt::RoundCap, Qt::RoundJoin);
  if (glyph.strokeStyle == Qt::DashLine) {
    pen.setCapStyle(Qt::FlatCap);
    pen.setDashPattern({2.0 / width * 1.2, 1.6 / width * 1.2});
  }
  QPainterPath fill = glyph.fill;
  if (!glyph.cut.isEmpty()) {
    QPainterPathStroker stroker;
    stroker.setWidth(width);
    stroker.setCapStyle(Qt::RoundCap);
    stroker.setJoinStyle(Qt::RoundJoin);
    fill = fill.subtracted(stroker.createStroke(glyph.cut));
  }
  if (!fill.isEmpty())
    painter.fillPath(fill, color);
  if (!glyph.stroke.isEmpty())
    painter.strokePath(glyph.stroke, pen);
  painter.restore();
  return true;
}

} // namespace crel::Symbols
