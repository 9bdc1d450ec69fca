#pragma once

#include <QWidget>

class QLabel;

namespace crel {

class BrandSwitch;
class BrandTextButton;
class UpdateController;
class UpdateNotifier;

// The software-update section of the welcome and settings window. It keeps
// no state: every row shows the controller (and the notifier, when there is
// one) and is redrawn when they change.
class UpdateSettingsView : public QWidget {
  Q_OBJECT
public:
  UpdateSettingsView(UpdateController &updates, UpdateNotifier *notifications, QWidget *parent = nullptr);

  BrandSwitch *checksSwitch() const { return checks_; }
  BrandSwitch *downloadsSwitch() const { return downloads_; }
  BrandTextButton *actionButton() const { return action_; }
  QLabel *statusLabel() const { return status_; }
  QLabel *versionLabel() const { return version_; }
  // Hidden while the last check is unknown.
  QLabel *lastCheckedLabel() const { return lastChecked_; }
  // Hidden once notifications are allowed, when the label shows instead.
  BrandTextButton *notificationButton() const { return allow_; }
  QWidget *notificationsOnLabel() const { return notificationsOn_; }
  // Without a tray an update installs right away from this window instead.
  void setTrayMissing(bool missing);
  QLabel *installNote() const { return installNote_; }

private:
  void refresh();

  UpdateController &updates_;
  UpdateNotifier *notifications_;
  QLabel *version_ = nullptr;
  BrandSwitch *checks_ = nullptr;
  BrandSwitch *downloads_ = nullptr;
  QLabel *status_ = nullptr;
  BrandTextButton *action_ = nullptr;
  BrandTextButton *allow_ = nullptr;
  QWidget *notificationsOn_ = nullptr;
  QLabel *lastChecked_ = nullptr;
  QLabel *installNote_ = nullptr;
};

} // namespace crel
