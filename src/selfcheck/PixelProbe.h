#pragma once

#include "platform/base/Geometry.h"

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QString>

namespace crel::NativeTests {

// Decodes PNG data into straight-alpha 8-bit RGBA in sRGB, top row first.
// Data that does not decode ends the run with a failure naming `what`.
QImage decodePNG(const QByteArray &data, const QString &what);

// The colour of pixel (x, y) of a decoded image, components 0 to 1. A pixel
// outside the image ends the run with a failure naming it.
QColor colorAt(const QImage &image, int x, int y);

// The colour at canvas point (x, y) of an export whose top-left pixel is
// `rect`'s minimum corner; offsets are cut toward zero to a whole pixel.
QColor colorAt(const QImage &image, const geom::Rect &rect, double x, double y);

// Sum of the absolute differences of red, green, blue and alpha: 0 to 4.
double distance(const QColor &a, const QColor &b);

// Every component differs by less than 0.005 (strictly).
bool matches(const QColor &a, const QColor &b);

} // namespace crel::NativeTests
