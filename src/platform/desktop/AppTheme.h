#pragma once

#include <QColor>
#include <QRectF>

#include <array>
#include <optional>

class QByteArray;
class QPainter;

namespace crel {

// The brand colours from the bundle resource "brand" (json), and the stage
// painted behind the canvas. Each colour is made once per process, on first
// use, and never changes afterwards. The resource is looked up in the bundle,
// then in the copy compiled into the program; a malformed one is a fault of
// the build and stops the process (tests validate the shipped file).
class AppTheme {
public:
  struct Palette {
    QColor primary;
    QColor neutral;
    QColor wash;  // the accent colour, else neutral blended 0.16 toward primary
    QColor stage; // neutral blended 0.035 toward primary, then 0.025 toward black
  };

  static QColor primary();
  static QColor neutral();
  static QColor wash();
  static QColor stage();

  // Paints the stage over `rect`: a fill of stage() in the painter's current
  // composition mode, then two soft elliptical glows (primary near the top
  // left, wash near the bottom right). `flipped` says whether y grows
  // downward in the painter's coordinates, which decides where "top" is.
  // Deterministic: the same rectangle always gives the same pixels.
  static void drawStage(QPainter &painter, const QRectF &rect, bool flipped);

  // One soft elliptical glow of the stage: `color` at `alpha` in the centre
  // fading to transparent at the ellipse of radii (rx, ry).
  struct StageGlow {
    QPointF centre;
    double rx = 1, ry = 1;
    QColor color;
    double alpha = 0;
  };
  // The two glows drawStage paints over `rect`, primary first. Radii are at
  // least 1, so an empty rectangle never scales a painter by 0.
  static std::array<StageGlow, 2> stageGlows(const QRectF &rect, bool flipped);

  // Parses "#RRGGBB"; invalid QColor when the text is anything else.
  static QColor parseHex(const QString &text);
  // The palette a brand resource describes; nothing when a required colour
  // is missing or malformed, or a present accent is malformed.
  static std::optional<Palette> paletteFromBrand(const QByteArray &json);
  // (1 - f) * colour + f * toward, per component.
  static QColor blend(const QColor &color, double f, const QColor &toward);

private:
  static const Palette &palette();
};

} // namespace crel
