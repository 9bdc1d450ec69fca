#include "AppTheme.h"

#include "ResourceLocator.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QPainter>
#include <QRadialGradient>
#include <QRegularExpression>

#include <algorithm>

Q_LOGGING_CATEGORY(lcTheme, "crel.theme")

namespace crel {

namespace {

std::optional<QColor> &primaryOverride() {
  static std::optional<QColor> color;
  return color;
}

// The same values as resources/brand.json, for programs run without a bundle.
constexpr char builtInBrand[] = R"({"primaryColor":"#2F6BFF","neutralColor":"#1C1F26","accentColor":"#FF7A45"})";

void drawGlow(QPainter &painter, QPointF centre, double rx, double ry, QColor color, double alpha) {
  QColor inner = color, outer = color;
  inner.setAlphaF(float(alpha));
  outer.setAlphaF(0);
  QRadialGradient gradient(QPointF(0, 0), 1);
  gradient.setColorAt(0, inner);
  gradient.setColorAt(1, outer);
  painter.save();
  painter.translate(centre);
  painter.scale(std::max(rx, 1.0), std::max(ry, 1.0));
  // The outer stop is transparent, so filling the unit disc alone paints
  // exactly the gradient without extending it past its end.
  painter.setPen(Qt::NoPen);
  painter.setBrush(gradient);
  painter.drawEllipse(QPointF(0, 0), 1, 1);
  painter.restore();
}

} // namespace

QColor AppTheme::parseHex(const QString &text) {
  static const QRegularExpression pattern("^#[0-9A-Fa-f]{6}$");
  if (!pattern.match(text).hasMatch())
    return {};
  return QColor::fromString(text);
}

QColor AppTheme::blend(const QColor &color, double f, const QColor &toward) {
  auto mix = [f](float a, float b) { return float((1 - f) * a + f * b); };
  return QColor::fromRgbF(mix(color.redF(), toward.redF()), mix(color.greenF(), toward.greenF()),
                          mix(color.blueF(), toward.blueF()), mix(color.alphaF(), toward.alphaF()));
}

std::optional<AppTheme::Palette> AppTheme::paletteFromBrand(const QByteArray &json) {
  const QJsonDocument document = QJsonDocument::fromJson(json);
  if (!document.isObject())
    return std::nullopt;
  const QJsonObject brand = document.object();
  const QJsonValue primaryText = brand.value("primaryColor"), neutralText = brand.value("neutralColor");
  const QJsonValue accentText = brand.value("accentColor");
  if (!primaryText.isString() || !neutralText.isString())
    return std::nullopt;
  Palette palette;
  palette.primary = parseHex(primaryText.toString());
  palette.neutral = parseHex(neutralText.toString());
  if (!palette.primary.isValid() || !palette.neutral.isValid())
    return std::nullopt;
  if (accentText.isUndefined() || accentText.isNull()) {
    palette.wash = blend(palette.neutral, 0.16, palette.primary);
  } else {
    palette.wash = accentText.isString() ? parseHex(accentText.toString()) : QColor();
    if (!palette.wash.isValid())
      return std::nullopt;
  }
  palette.stage = blend(blend(palette.neutral, 0.035, palette.primary), 0.025, Qt::black);
  return palette;
}

const AppTheme::Palette &AppTheme::palette() {
  static const Palette palette = [] {
    QFile file(ResourceLocator::resourcePath("brand", "json"));
    if (!file.fileName().isEmpty() && file.open(QIODevice::ReadOnly)) {
      if (auto read = paletteFromBrand(file.readAll()))
        return *read;
      qCWarning(lcTheme) << "brand resource is malformed; using the built-in colours";
    } else {
      qCWarning(lcTheme) << "brand resource missing; using the built-in colours";
    }
    return *paletteFromBrand(builtInBrand);
  }();
  return palette;
}

QColor AppTheme::primary() {
  if (primaryOverride())
    return *primaryOverride();
  return palette().primary;
}

QColor AppTheme::neutral() { return palette().neutral; }
QColor AppTheme::wash() { return palette().wash; }
QColor AppTheme::stage() { return palette().stage; }

void AppTheme::drawStage(QPainter &painter, const QRectF &rect, bool flipped) {
  if (!painter.isActive())
    return;
  painter.fillRect(rect, stage());
  const double w = rect.width(), h = rect.height();
  const double top = flipped ? rect.top() : rect.bottom();
  const double down = flipped ? 1 : -1;
  drawGlow(painter, {rect.left() + 0.12 * w, top + down * 0.2 * h}, 0.6 * w, 0.62 * h, primary(), 0.1);
  drawGlow(painter, {rect.left() + 0.9 * w, top + down * 0.72 * h}, 0.62 * w, 0.55 * h, wash(), 0.85);
}

void AppTheme::setPrimaryOverride(const QColor &color) { primaryOverride() = color; }

} // namespace crel
