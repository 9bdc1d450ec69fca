#pragma once

#include "platform/SettingsStore.h"

#include <QTemporaryDir>

#include <memory>

namespace crel::test {

// A private settings store in a temporary folder, removed with the object.
class TemporarySettings {
public:
  TemporarySettings();
  SettingsStore &store() { return *store_; }
  QString path() const { return dir_.filePath("settings.ini"); }

private:
  QTemporaryDir dir_;
  std::unique_ptr<SettingsStore> store_;
};

} // namespace crel::test
