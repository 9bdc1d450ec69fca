#include "TextRecognitionFixture.h"

#include "document/CrelError.h"
#include "platform/desktop/BundledFonts.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>

namespace crel {

namespace {

constexpr int kFontSize = 34;
constexpr double kTextX = 60;
// Positions are given as the lower-left corner of each line's layout box,
// measured from the bottom of the page, as the page was first laid out.
constexpr double kFirstLineBottom = 445;
constexpr double kLineStep = -80;
constexpr double kDarkLineBottom = 100;

const char *const kBlackLines[] = {"Review the release notes", "Highlight words across lines",
                                   "Keep screenshots on this computer"};
const char *const kDarkLine = "Readable on dark backgrounds";

} // namespace

QStringList TextRecognitionFixture::lines() {
  QStringList all;
  for (const char *line : kBlackLines)
    all.push_back(QString::fromLatin1(line));
  all.push_back(QString::fromLatin1(kDarkLine));
  return all;
}

QRect TextRecognitionFixture::darkBand() {
  // x 45, width 950; from 65 to 170 above the bottom edge.
  return {45, height - 170, 950, 105};
}

QRgb TextRecognitionFixture::darkBandColor() { return qRgb(31, 31, 31); }

QImage TextRecognitionFixture::page() {
  QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
  if (image.isNull())
    throw CrelError::rendering();
  image.fill(Qt::white);
  BundledFonts::ensureLoaded();
  QFont font(BundledFonts::formalFamily());
  font.setPixelSize(kFontSize);
  const QFontMetricsF metrics(font);
  QPainter painter;
  if (!painter.begin(&image))
    throw CrelError::rendering();
  painter.setRenderHint(QPainter::TextAntialiasing);
  painter.setFont(font);
  // A layout box's bottom sits `descent` below the baseline.
  const auto baseline = [&](double boxBottomFromPageBottom) {
    return height - boxBottomFromPageBottom - metrics.descent();
  };
  painter.setPen(Qt::black);
  double bottom = kFirstLineBottom;
  for (const char *line : kBlackLines) {
    painter.drawText(QPointF(kTextX, baseline(bottom)), QString::fromLatin1(line));
    bottom += kLineStep;
  }
  painter.fillRect(darkBand(), QColor(darkBandColor()));
  painter.setPen(Qt::white);
  painter.drawText(QPointF(kTextX, baseline(kDarkLineBottom)), QString::fromLatin1(kDarkLine));
  painter.end();
  return image;
}

} // namespace crel
