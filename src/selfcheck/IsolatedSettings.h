#pragma once

#include "platform/files/SettingsStore.h"

#include <QString>

#include <memory>

namespace crel::NativeTests {

// A settings store of its own, named by a prefix and a fresh UUID inside a
// folder; its file is removed on every way out.
class IsolatedSettings {
public:
  IsolatedSettings(const QString &folder, const QString &prefix);
  ~IsolatedSettings();
  IsolatedSettings(const IsolatedSettings &) = delete;
  IsolatedSettings &operator=(const IsolatedSettings &) = delete;

  SettingsStore &store() { return *store_; }
  const QString &name() const { return name_; }
  QString path() const { return path_; }

private:
  QString name_;
  QString path_;
  std::unique_ptr<SettingsStore> store_;
};

} // namespace crel::NativeTests
