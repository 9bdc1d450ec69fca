#include "AnnotationPreferences.h"

#include "platform/files/SettingsStore.h"

namespace crel {

namespace {
const QString kKey = QStringLiteral("annotationStyle");
AnnotationPreferences *sharedOverride = nullptr;
} // namespace

AnnotationPreferences::AnnotationPreferences(SettingsStore &store, QObject *parent)
    : QObject(parent), store_(store),
      style_(store.stringForKey(kKey).value_or(QString()) == rawValue(AnnotationStyle::doodle)
                 ? AnnotationStyle::doodle
                 : AnnotationStyle::formal) {}

void AnnotationPreferences::overrideShared(AnnotationPreferences *instance) { sharedOverride = instance; }

AnnotationPreferences &AnnotationPreferences::shared() {
  if (sharedOverride)
    return *sharedOverride;
  static AnnotationPreferences *instance = new AnnotationPreferences(SettingsStore::standard());
  return *instance;
}

void AnnotationPreferences::setStyle(AnnotationStyle style) {
  style_ = style;
  store_.setString(kKey, rawValue(style));
  Q_EMIT styleChanged(style);
  Q_EMIT changed();
}

double AnnotationPreferences::defaultWidth(MarkTool tool) {
  switch (tool) {
  case MarkTool::arrow: return 32;
  case MarkTool::highlight: return 40;
  case MarkTool::step: return 64;
  default: return 12;
  }
}

} // namespace crel
