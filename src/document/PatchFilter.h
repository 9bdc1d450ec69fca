#pragma once

#include "BlurEffect.h"

#include <QImage>
#include <QPointF>
#include <QRect>

#include <optional>

namespace crel {

// The image filters behind blur and pixelate marks. Every function reads its
// source as if it were extended without end by its edge pixels, so a result
// near (or beyond) the source's border never pulls in transparency. Results
// are Format_ARGB32_Premultiplied; filtering happens on premultiplied
// values, so colour never bleeds out of transparent pixels.
class PatchFilter {
public:
  // The strength a blur mark uses: 16 when absent, NaN becomes 4, then
  // clamped to 4…96. It is both the blur's sigma and the pixel cell size.
  static double strength(std::optional<double> blurStrength);

  // The area that is filtered for a patch covering `patchRect`: grown by
  // ceil(3·s) on every side, so that the patch's edge pixels see their real
  // neighbours.
  static QRect workingArea(const QRect &patchRect, double s);
  // False when the working area is too large to allocate (over 32,768 on a
  // side or over 80,000,000 pixels); the patch then shows black.
  static bool workingAreaFits(const QRect &area);

  // A patch: `working` holds everything beneath the mark over the canvas
  // rectangle `area`; the result holds the filtered pixels of the canvas
  // rectangle `patchRect`. Pixelate cells are anchored to the canvas origin,
  // so every patch of a document shares one grid. Every function here
  // returns a null image when memory runs out: show black, never the
  // unfiltered pixels.
  static QImage filter(const QImage &working, const QRect &area, const QRect &patchRect, BlurEffect effect, double s);

  // Gaussian blur approximated by three box passes per axis with the
  // Gaussian's variance, so the cost per pixel does not depend on sigma.
  // Returns the blurred pixels of `crop` (source pixel coordinates; it may
  // reach outside the source). Sigma 0 (or NaN) leaves the image as it is;
  // sigma is capped at 8,000, which already averages any image this
  // program can hold.
  static QImage gaussianBlur(const QImage &source, double sigma, const QRect &crop);

  // Replaces each cell of a square grid by the average of the pixels whose
  // centres lie in it. The grid has cells of `cellSize` pixels (at least 1;
  // fractional sizes allowed) with a corner at `gridOrigin` (source pixel
  // coordinates, anywhere). Returns the pixels of `crop`; cells that cross
  // the crop are averaged whole, so a crop agrees with a larger one.
  static QImage pixelate(const QImage &source, double cellSize, QPointF gridOrigin, const QRect &crop);

  // One of the three equal box passes per axis: full weight over
  // [-radius, radius], `extension` (0…1) at ±(radius + 1). Three of them
  // have the variance sigma².
  struct BoxPass {
    int radius = 0;
    double extension = 0;
    double variance() const;
  };
  static BoxPass boxPass(double sigma);

private:
  // The filters themselves; they throw when a worker fails.
  static QImage blurred(const QImage &source, double sigma, const QRect &crop);
  static QImage pixelated(const QImage &source, double cellSize, QPointF gridOrigin, const QRect &crop);
};

} // namespace crel
