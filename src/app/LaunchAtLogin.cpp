#include "LaunchAtLogin.h"

#include "CommandLine.h"
#include "LaunchMode.h"
#include "platform/base/Translate.h"
#include "platform/files/AppIdentity.h"
#include "platform/files/FileError.h"
#include "platform/files/SettingsStore.h"

#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>

namespace crel {

namespace {

Q_LOGGING_CATEGORY(lcLogin, "crel.login")

bool isOn(LoginItemStatus status) {
  return status == LoginItemStatus::enabled || status == LoginItemStatus::requiresApproval;
}

QString resolved(const QString &path) {
  const QString canonical = QFileInfo(path).canonicalFilePath();
  return canonical.isEmpty() ? QDir::cleanPath(path) : canonical;
}

} // namespace

LaunchAtLogin::LaunchAtLogin(LoginItemService &service, SettingsStore &defaults, bool canRegister, QObject *parent)
    : QObject(parent), service_(service), defaults_(defaults), canRegister_(canRegister), status_(service.status()) {}

bool LaunchAtLogin::isInstalledApplication(const CommandLine &commandLine, const QString &bundleDirectory,
                                           const QString &homeDirectory) {
  if (isTestRun(commandLine) || bundleDirectory.isEmpty())
    return false;
  const QString bundle = resolved(bundleDirectory) + u'/';
  QStringList roots{QStringLiteral("/opt"), QStringLiteral("/usr")};
  if (!homeDirectory.isEmpty())
    roots << homeDirectory + QStringLiteral("/Applications") << homeDirectory + QStringLiteral("/.local/opt");
  for (const QString &root : roots) {
    const QString prefix = resolved(root) + u'/';
    if (bundle.startsWith(prefix) && bundle != prefix)
      return true;
  }
  return false;
}

bool LaunchAtLogin::isInitialized() const { return defaults_.value(QLatin1String(initializedKey)).toBool(); }

void LaunchAtLogin::markInitialized() {
  defaults_.setValue(QLatin1String(initializedKey), true);
  defaults_.sync();
}

void LaunchAtLogin::setStatus(LoginItemStatus status) {
  if (status == status_)
    return;
  status_ = status;
  Q_EMIT statusChanged(status);
  Q_EMIT changed();
}

void LaunchAtLogin::setErrorMessage(std::optional<QString> message) {
  if (message == errorMessage_)
    return;
  errorMessage_ = std::move(message);
  Q_EMIT errorMessageChanged();
  Q_EMIT changed();
}

void LaunchAtLogin::refreshStatus() { setStatus(service_.status()); }

void LaunchAtLogin::start() {
  refreshStatus();
  if (!canRegister_)
    return;
  if (isInitialized()) {
    // On, but naming a copy that moved or went: this copy takes its place,
    // as it does in the desktop entry. Whether it is on stays the user's.
    if (status_ == LoginItemStatus::notFound)
      setEnabled(true);
    return;
  }
  if (isOn(status_))
    markInitialized();
  else if (status_ == LoginItemStatus::notRegistered || status_ == LoginItemStatus::notFound)
    setEnabled(true);
}

void LaunchAtLogin::setEnabled(bool enabled) {
  if (!canRegister_)
    return;
  setErrorMessage(std::nullopt);
  refreshStatus();
  try {
    if (enabled) {
      if (status_ == LoginItemStatus::requiresApproval) {
        service_.openSettings();
        return;
      }
      if (status_ != LoginItemStatus::enabled)
        service_.registerItem();
    } else if (isOn(status_)) {
      service_.unregisterItem();
    }
  } catch (const FileError &error) {
    refreshStatus();
    if (status_ == LoginItemStatus::requiresApproval)
      markInitialized();
    else
      setErrorMessage(tr("Could not change automatic startup: ") + error.message());
    qCWarning(lcLogin).noquote() << "Launch at login:" << error.message();
    return;
  }
  refreshStatus();
  if (isOn(status_))
    markInitialized();
  else if (enabled)
    setErrorMessage(tr("Your desktop could not enable automatic startup. Try again or check your desktop's "
                       "startup applications."));
  else if (status_ == LoginItemStatus::notRegistered)
    markInitialized();
}

QString LaunchAtLogin::detail(bool trayMissing) const {
  if (errorMessage_)
    return *errorMessage_;
  if (!canRegister_)
    return tr("Install the app (for example in ~/Applications or /opt) and open it once to enable automatic startup.");
  switch (status_) {
  case LoginItemStatus::notRegistered:
    return tr("Automatic startup is off. Turn it on to keep your capture shortcut ready after a restart.");
  case LoginItemStatus::enabled:
    if (trayMissing)
      return tr("Starts without opening a window when you sign in. Capture with your shortcut, or start %1 again "
                "to open this window.")
          .arg(AppIdentity::name());
    return tr("Starts without opening a window when you sign in. Find the app in your system tray.");
  case LoginItemStatus::requiresApproval:
    return tr("Disabled in your desktop's startup applications. Allow the app there to start automatically.");
  case LoginItemStatus::notFound: return tr("The app was moved or removed. Reinstall it and open it once.");
  }
  return tr("Check the app’s startup status in your desktop's startup applications.");
}

} // namespace crel
