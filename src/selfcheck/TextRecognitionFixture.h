#pragma once

#include <QImage>
#include <QStringList>

namespace crel {

// A fixed page of text on which real recognition must give a known result:
// three black lines on white, then a fourth, white line on a dark band.
// 17 words in all. Needs a QGuiApplication (it draws with the bundled font).
class TextRecognitionFixture {
public:
  static constexpr int width = 1100;
  static constexpr int height = 580;

  // Draws a new, identical page on every call. Throws CrelError::rendering.
  static QImage page();

  // The four lines in reading order.
  static QStringList lines();
  // The dark band in image pixels (origin top-left).
  static QRect darkBand();
  static QRgb darkBandColor();
};

} // namespace crel
