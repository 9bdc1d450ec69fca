#pragma once

#include "platform/desktop/LoginItemService.h"

#include <QObject>
#include <QString>

#include <optional>

namespace crel {

class CommandLine;
class SettingsStore;

// Launch at login: the first-run decision, the toggle, and what to tell the
// user. Registers by itself once, on the first run of an installed copy;
// afterwards only the user's toggle changes the login item.
class LaunchAtLogin : public QObject {
  Q_OBJECT
public:
  static constexpr const char *initializedKey = "launchAtLoginInitialized";

  LaunchAtLogin(LoginItemService &service, SettingsStore &defaults, bool canRegister, QObject *parent = nullptr);

  // Whether this copy may register: not in a test run, and installed where
  // applications live (/opt, /usr, ~/Applications, ~/.local/opt), never a
  // build tree, a temporary folder or a mounted image.
  static bool isInstalledApplication(const CommandLine &commandLine, const QString &bundleDirectory,
                                     const QString &homeDirectory);

  LoginItemStatus status() const { return status_; }
  const std::optional<QString> &errorMessage() const { return errorMessage_; }
  bool canRegister() const { return canRegister_; }
  bool isInitialized() const;

  // The first-run decision, at launch.
  void start();
  // The toggle's setter.
  void setEnabled(bool enabled);
  // Reads the status again (when the application becomes active).
  void refreshStatus();

  // The line under the toggle; `trayMissing`: the desktop has no tray to find the app in.
  QString detail(bool trayMissing = false) const;
  // The toggle reads on only while the item is enabled.
  bool isToggleOn() const { return status_ == LoginItemStatus::enabled; }
  // Whether the row offers to open the desktop's startup applications.
  bool offersOpenSettings() const { return status_ == LoginItemStatus::requiresApproval || errorMessage_.has_value(); }
  void openSettings() { service_.openSettings(); }

Q_SIGNALS:
  void statusChanged(crel::LoginItemStatus status);
  void errorMessageChanged();
  void changed();

private:
  void setStatus(LoginItemStatus status);
  void setErrorMessage(std::optional<QString> message);
  void markInitialized();

  LoginItemService &service_;
  SettingsStore &defaults_;
  bool canRegister_;
  LoginItemStatus status_ = LoginItemStatus::notRegistered;
  std::optional<QString> errorMessage_;
};

} // namespace crel
