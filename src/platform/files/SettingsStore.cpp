#include "SettingsStore.h"

#include "AppIdentity.h"

#include <QSettings>
#include <QStandardPaths>

namespace crel {

SettingsStore::SettingsStore(const QString &iniPath)
    : settings_(std::make_unique<QSettings>(iniPath, QSettings::IniFormat)) {}

SettingsStore::~SettingsStore() = default;

QString SettingsStore::standardPath() {
  const QString id = AppIdentity::identifier();
  return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + '/' + id + '/' + id + ".ini";
}

SettingsStore &SettingsStore::standard() {
  static SettingsStore store(standardPath());
  return store;
}

std::optional<QString> SettingsStore::stringForKey(const QString &key) const {
  const QVariant v = settings_->value(key);
  if (v.typeId() != QMetaType::QString)
    return std::nullopt;
  return v.toString();
}

void SettingsStore::setString(const QString &key, const QString &value) { settings_->setValue(key, value); }
QVariant SettingsStore::value(const QString &key) const { return settings_->value(key); }
void SettingsStore::setValue(const QString &key, const QVariant &value) { settings_->setValue(key, value); }
bool SettingsStore::contains(const QString &key) const { return settings_->contains(key); }
void SettingsStore::remove(const QString &key) { settings_->remove(key); }
QStringList SettingsStore::keys() const { return settings_->allKeys(); }
bool SettingsStore::sync() {
  settings_->sync();
  return settings_->status() == QSettings::NoError;
}
QString SettingsStore::path() const { return settings_->fileName(); }

} // namespace crel
