#pragma once

#include <QObject>
#include <QStringView>

#include <optional>

namespace crel {

class SettingsStore;

// The user's wish for less transparency, which turns the translucent chrome
// opaque. X11 has no such system setting, so three sources stand in, the
// first that says anything winning:
//  1. the environment variable CREL_REDUCE_TRANSPARENCY (1/0, true/false,
//     yes/no, on/off);
//  2. the setting "reduceTransparency" (a boolean) in the settings store;
//  3. the desktop portal's high-contrast setting (GNOME's a11y high-contrast
//     key, or the freedesktop appearance "contrast" key), followed live.
// With none of them it is off.
class AccessibilityOptions : public QObject {
  Q_OBJECT
public:
  static constexpr const char *environmentVariable = "CREL_REDUCE_TRANSPARENCY";
  static constexpr const char *settingKey = "reduceTransparency";

  struct Sources {
    std::optional<bool> environment, setting, portal;
    bool operator==(const Sources &) const = default;
  };
  static bool resolve(const Sources &sources);
  // A flag's text; nothing for an empty or unrecognised one.
  static std::optional<bool> parseFlag(QStringView text);

  // Options with no source yet (tests, renderers).
  explicit AccessibilityOptions(QObject *parent = nullptr);
  // The process's options: the environment and the standard settings are
  // read on first use; the portal is asked (asynchronously) and watched when
  // the session bus offers it.
  static AccessibilityOptions &shared();

  bool reduceTransparency() const { return resolve(sources_); }
  const Sources &sources() const { return sources_; }

  void setEnvironmentValue(std::optional<bool> value);
  void setSettingValue(std::optional<bool> value);
  void setPortalValue(std::optional<bool> value);
  // Reads the environment variable and `store`'s setting again.
  void reload(const SettingsStore &store);
  // Asks the desktop portal on the session bus (asynchronously) and follows
  // its changes from then on; does nothing without a bus or a portal.
  void followDesktopPortal();

Q_SIGNALS:
  // Emitted after reduceTransparency() changed, never for a source change
  // that leaves it as it was.
  void changed();

private:
  void update(Sources next);
  Sources sources_;
};

} // namespace crel
