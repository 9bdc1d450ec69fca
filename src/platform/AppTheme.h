#pragma once

#include <QColor>

namespace crel {

// The brand colours from the bundle resource "brand" (json). Each colour is
// read once per process, on first use, and never changes afterwards.
class AppTheme {
public:
  static QColor primary();

  // Parses "#RRGGBB"; invalid QColor when the text is anything else.
  static QColor parseHex(const QString &text);

  // Tests fix the primary colour before anything reads it.
  static void setPrimaryOverride(const QColor &color);

private:
  static QColor brandColor(const char *key, const QColor &fallback);
};

} // namespace crel
