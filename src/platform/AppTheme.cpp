#include "AppTheme.h"

#include "ResourceLocator.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QRegularExpression>

#include <optional>

Q_LOGGING_CATEGORY(lcTheme, "crel.theme")

namespace crel {

namespace {
std::optional<QColor> &primaryOverride() {
  static std::optional<QColor> color;
  return color;
}
} // namespace

QColor AppTheme::parseHex(const QString &text) {
  static const QRegularExpression pattern("^#[0-9A-Fa-f]{6}$");
  if (!pattern.match(text).hasMatch())
    return {};
  return QColor::fromString(text);
}

QColor AppTheme::brandColor(const char *key, const QColor &fallback) {
  QFile file(ResourceLocator::resourcePath("brand", "json"));
  if (file.fileName().isEmpty() || !file.open(QIODevice::ReadOnly)) {
    qCWarning(lcTheme) << "brand resource missing; using the built-in colour for" << key;
    return fallback;
  }
  const QColor color = parseHex(QJsonDocument::fromJson(file.readAll()).object().value(key).toString());
  if (!color.isValid()) {
    qCWarning(lcTheme) << "brand colour" << key << "is not a #RRGGBB hex text";
    return fallback;
  }
  return color;
}

QColor AppTheme::primary() {
  if (primaryOverride())
    return *primaryOverride();
  // The same value as resources/brand.json, for programs run without a bundle.
  static const QColor color = brandColor("primaryColor", QColor(0x2F, 0x6B, 0xFF));
  return color;
}

void AppTheme::setPrimaryOverride(const QColor &color) { primaryOverride() = color; }

} // namespace crel
