#include "EditorSizePreferences.h"

#include "platform/files/SettingsStore.h"

namespace crel {

namespace {
const QString kKey = QStringLiteral("editorWindowSize");
EditorSizePreferences *sharedOverride = nullptr;
} // namespace

EditorSizePreferences::EditorSizePreferences(SettingsStore &store, QObject *parent)
    : QObject(parent), store_(store),
      size_(fromRawValue<EditorSize>(store.stringForKey(kKey).value_or(QString())).value_or(EditorSize::large)) {}

void EditorSizePreferences::overrideShared(EditorSizePreferences *instance) { sharedOverride = instance; }

EditorSizePreferences &EditorSizePreferences::shared() {
  if (sharedOverride)
    return *sharedOverride;
  static EditorSizePreferences *instance = new EditorSizePreferences(SettingsStore::standard());
  return *instance;
}

void EditorSizePreferences::setSize(EditorSize size) {
  size_ = size;
  store_.setString(kKey, rawValue(size));
  Q_EMIT sizeChanged(size);
  Q_EMIT changed();
}

} // namespace crel
