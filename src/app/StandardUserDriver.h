#pragma once

#include "update/framework/UpdaterDelegate.h"

#include <QPointer>
#include <QString>

#include <functional>

class QDialog;

namespace crel {

// The dialogs of a check the user asked for: an update found (with its
// release notes as plain text), one ready to install, none found, and a
// failure. One dialog at a time; a new one replaces what is open.
class StandardUserDriver : public update::UpdateUserDriver {
public:
  // Runs a staged install at once ("Install and Relaunch").
  std::function<void()> installNow;

  ~StandardUserDriver() override;

  void showUpdateFound(const update::AppcastItem &item, const update::UserUpdateState &state,
                       std::function<void(update::UpdateChoice)> reply) override;
  void showUpdateNotFound(const update::UpdateError &error) override;
  void showReadyToInstall(const update::AppcastItem &item) override;
  void showUpdaterError(const update::UpdateError &error) override;

  // The open dialog, if any.
  QDialog *dialog() const;

private:
  void present(QDialog *dialog);

  QPointer<QDialog> dialog_;
};

} // namespace crel
