#include "UpdateSettingsView.h"

#include "chrome/BrandSwitch.h"
#include "chrome/BrandTextButton.h"
#include "chrome/ShellText.h"
#include "platform/base/Translate.h"
#include "platform/files/AppIdentity.h"
#include "update/UpdateController.h"
#include "update/UpdateNotifier.h"
#include "update/framework/Updater.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QRegularExpression>
#include <QVBoxLayout>

namespace crel {

namespace {

QLabel *caption(const QString &content, QWidget *parent, double size = 11) {
  return ShellText::label(content, parent, {size, QFont::Normal, true});
}

// The locale's short date and time, to the minute: the C locale's short
// time would show seconds.
QString shortDateTime(const QDateTime &when, const QLocale &locale) {
  QString time = locale.timeFormat(QLocale::ShortFormat);
  time.remove(QRegularExpression(QStringLiteral("[:.]s+")));
  return locale.toString(when.date(), QLocale::ShortFormat) + u' ' + locale.toString(when.time(), time);
}

} // namespace

UpdateSettingsView::UpdateSettingsView(UpdateController &updates, UpdateNotifier *notifications, QWidget *parent)
    : QWidget(parent), updates_(updates), notifications_(notifications) {
  auto *column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(10);

  auto *titleRow = new QHBoxLayout;
  titleRow->addWidget(ShellText::label(crel::tr("Software updates"), this, {13, QFont::Medium, false, false, false}));
  titleRow->addStretch(1);
  version_ = caption(QStringLiteral("v") + AppIdentity::version(), this);
  version_->setWordWrap(false);
  titleRow->addWidget(version_);
  column->addLayout(titleRow);

  checks_ = new BrandSwitch(crel::tr("Check for updates automatically"), this);
  column->addWidget(checks_);
  downloads_ = new BrandSwitch(crel::tr("Download and install updates automatically"), this);
  column->addWidget(downloads_);
  // The switches write through to the updater and then show what it holds.
  connect(checks_, &BrandSwitch::clicked, this, [this](bool on) {
    updates_.updater().setAutomaticallyChecksForUpdates(on);
    refresh();
  });
  connect(downloads_, &BrandSwitch::clicked, this, [this](bool on) {
    updates_.updater().setAutomaticallyDownloadsUpdates(on);
    refresh();
  });

  status_ = caption(QString(), this);
  column->addWidget(status_);

  auto *actionRow = new QHBoxLayout;
  action_ = new BrandTextButton(QString(), this);
  connect(action_, &BrandTextButton::clicked, this, [this] { updates_.updateMenuAction(); });
  actionRow->addWidget(action_);
  actionRow->addStretch(1);
  allow_ = new BrandTextButton(crel::tr("Allow update notifications"), this);
  connect(allow_, &BrandTextButton::clicked, this, [this] {
    if (notifications_)
      notifications_->enableNotifications();
  });
  actionRow->addWidget(allow_);
  notificationsOn_ = new QWidget(this);
  auto *onRow = new QHBoxLayout(notificationsOn_);
  onRow->setContentsMargins(0, 0, 0, 0);
  onRow->setSpacing(4);
  onRow->addWidget(ShellText::symbol(QStringLiteral("bell.badge"), 11, true, notificationsOn_));
  auto *onText = caption(crel::tr("Notifications on"), notificationsOn_);
  onText->setWordWrap(false);
  onRow->addWidget(onText);
  actionRow->addWidget(notificationsOn_);
  column->addLayout(actionRow);

  lastChecked_ = caption(QString(), this, 10);
  column->addWidget(lastChecked_);
  installNote_ = caption(QString(), this);
  column->addWidget(installNote_);
  setTrayMissing(false);

  connect(&updates_, &UpdateController::changed, this, &UpdateSettingsView::refresh);
  if (notifications_)
    connect(notifications_, &UpdateNotifier::permissionChanged, this, &UpdateSettingsView::refresh);
  refresh();
}

void UpdateSettingsView::setTrayMissing(bool missing) {
  installNote_->setText(missing ? crel::tr("Downloaded updates install quietly once no screenshot is open, or right "
                                           "away from this window. Open crels and their annotations are restored.")
                                : crel::tr("Downloaded updates install quietly once no screenshot is open, or right "
                                           "away from the system tray. Open crels and their annotations are "
                                           "restored."));
}

void UpdateSettingsView::refresh() {
  // A copy without a feed never updates: its switches would promise what
  // cannot happen.
  const bool available = updates_.isAvailable();
  checks_->setChecked(available && updates_.automaticChecks());
  checks_->setEnabled(available);
  downloads_->setChecked(available && updates_.automaticDownloads());
  downloads_->setEnabled(available && updates_.automaticChecks());
  status_->setText(available ? updates_.status() : UpdateController::unavailableSentence());
  action_->setText(updates_.menuTitle());
  action_->setEnabled(updates_.canCheck() || updates_.canInstallNow());
  // Linux has no refused state to send the user to: without a service the
  // button stays, and asking again says what is missing.
  const bool allowed = notifications_ && notifications_->notificationsAllowed();
  allow_->setVisible(available && notifications_ && !allowed);
  notificationsOn_->setVisible(available && allowed);
  const std::optional<QDateTime> last = updates_.lastChecked();
  lastChecked_->setVisible(last.has_value());
  if (last)
    lastChecked_->setText(crel::tr("Last checked %1").arg(shortDateTime(last->toLocalTime(), QLocale())));
}

} // namespace crel
