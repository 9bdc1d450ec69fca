#pragma once

#include <QString>
#include <QVariant>

#include <memory>
#include <optional>

class QSettings;

namespace crel {

// The user-defaults store: an INI file under ~/.config/<bundle identifier>/
// for the application, or any file a test chooses.
class SettingsStore {
public:
  explicit SettingsStore(const QString &iniPath);
  ~SettingsStore();
  SettingsStore(const SettingsStore &) = delete;
  SettingsStore &operator=(const SettingsStore &) = delete;

  // The process-wide store of the running application.
  static SettingsStore &standard();
  static QString standardPath();

  // A value that is not stored as text reads as absent.
  std::optional<QString> stringForKey(const QString &key) const;
  void setString(const QString &key, const QString &value);
  QVariant value(const QString &key) const;
  void setValue(const QString &key, const QVariant &value);
  bool contains(const QString &key) const;
  void remove(const QString &key);
  QStringList keys() const;
  // Writes pending changes; whether the file now holds them.
  bool sync();
  QString path() const;

private:
  std::unique_ptr<QSettings> settings_;
};

} // namespace crel
