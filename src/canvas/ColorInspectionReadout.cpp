#include "ColorInspectionReadout.h"

#include "ColorInspection.h"

#include "chrome/ChromeColors.h"
#include "platform/base/Translate.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace crel {

namespace {

constexpr double paddingX = 10, paddingY = 7, swatchSide = 20, swatchRadius = 4, spacing = 8, lineSpacing = 2;

QFont hexFont() {
  QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  font.setPixelSize(11);
  font.setWeight(QFont::Medium);
  return font;
}

QFont detailFont() {
  QFont font;
  font.setPixelSize(10);
  return font;
}

} // namespace

ColorInspectionReadout::ColorInspectionReadout(ColorInspection &inspection, QWidget *parent,
                                               AccessibilityOptions *options)
    : ChromeSurface(cornerRadius, parent, options), inspection_(&inspection) {
  setObjectName(QStringLiteral("pixel-color-readout"));
  setAttribute(Qt::WA_TranslucentBackground);
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setAccessibleDescription(crel::tr("Alt-click the image, or right-click and choose Copy Color."));
  connect(&inspection, &ColorInspection::sampleChanged, this, &ColorInspectionReadout::refresh);
  connect(&inspection, &ColorInspection::copiedHexChanged, this, &ColorInspectionReadout::refresh);
  refresh();
}

QString ColorInspectionReadout::detailText() const {
  if (inspection_ && inspection_->sample() && inspection_->copiedHex() == inspection_->sample()->hex())
    return crel::tr("Copied");
  return crel::tr("sRGB · Alt-click to copy");
}

QSize ColorInspectionReadout::sizeHint() const {
  const QFontMetricsF hex(hexFont()), detail(detailFont());
  const QString hexText =
      inspection_ && inspection_->sample() ? inspection_->sample()->hex() : QStringLiteral("#000000");
  const double textWidth = std::max({hex.horizontalAdvance(hexText), detail.horizontalAdvance(crel::tr("Copied")),
                                     detail.horizontalAdvance(crel::tr("sRGB · Alt-click to copy"))});
  const double textHeight = hex.height() + lineSpacing + detail.height();
  return {int(std::ceil(2 * paddingX + swatchSide + spacing + textWidth)),
          int(std::ceil(2 * paddingY + std::max(swatchSide, textHeight)))};
}

void ColorInspectionReadout::refresh() {
  const bool shown = inspection_ && inspection_->sample();
  if (shown) {
    setAccessibleName(crel::tr("Pixel color %1, sRGB").arg(inspection_->sample()->hex()));
    resize(sizeHint());
  }
  setVisible(shown);
  update();
}

void ColorInspectionReadout::paintEvent(QPaintEvent *event) {
  if (!inspection_ || !inspection_->sample())
    return;
  const PixelColor c = *inspection_->sample();
  ChromeSurface::paintEvent(event);
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);

  // Swatch on white, so translucent colours show as such.
  const QRectF swatch(paddingX, (height() - swatchSide) / 2, swatchSide, swatchSide);
  painter.setPen(Qt::NoPen);
  painter.setBrush(Qt::white);
  painter.drawRoundedRect(swatch, swatchRadius, swatchRadius);
  painter.setBrush(QColor(c.red, c.green, c.blue, c.alpha));
  painter.drawRoundedRect(swatch, swatchRadius, swatchRadius);
  painter.setPen(QPen(QColor::fromRgbF(0, 0, 0, 0.18f), 0.5));
  painter.setBrush(Qt::NoBrush);
  painter.drawRoundedRect(swatch.adjusted(0.25, 0.25, -0.25, -0.25), swatchRadius - 0.25, swatchRadius - 0.25);

  const QFont hf = hexFont(), df = detailFont();
  const QFontMetricsF hex(hf), detail(df);
  const double x = swatch.right() + spacing;
  const double top = (height() - (hex.height() + lineSpacing + detail.height())) / 2;
  painter.setFont(hf);
  painter.setPen(ChromeColors::label());
  painter.drawText(QPointF(x, top + hex.ascent()), c.hex());
  painter.setFont(df);
  painter.setPen(ChromeColors::secondaryLabel());
  painter.drawText(QPointF(x, top + hex.height() + lineSpacing + detail.ascent()), detailText());
}

} // namespace crel
