#include "AccessibilityOptions.h"

#include "platform/files/SettingsStore.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcAccessibility, "crel.chrome.accessibility")

namespace crel {

namespace {

constexpr char portalService[] = "org.freedesktop.portal.Desktop";
constexpr char portalPath[] = "/org/freedesktop/portal/desktop";
constexpr char portalInterface[] = "org.freedesktop.portal.Settings";

// Settings.Read wraps the value in one variant, older portals in two.
QVariant unwrap(QVariant value) {
  while (value.canConvert<QDBusVariant>() && value.userType() == qMetaTypeId<QDBusVariant>())
    value = value.value<QDBusVariant>().variant();
  return value;
}

// Asks the desktop portal for its contrast settings and follows their
// changes; the options hear about it through setPortalValue().
class PortalContrast : public QObject {
  Q_OBJECT
public:
  explicit PortalContrast(AccessibilityOptions &options) : QObject(&options), options_(options) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface() || !bus.interface()->isServiceRegistered(portalService).value())
      return;
    // Qt 6.4 matches a signal argument to a QDBusVariant slot parameter only
    // once that metatype is registered; otherwise connect() fails silently.
    qRegisterMetaType<QDBusVariant>();
    if (!bus.connect(portalService, portalPath, portalInterface, "SettingChanged", this,
                     SLOT(settingChanged(QString, QString, QDBusVariant))))
      qCWarning(lcAccessibility) << "cannot follow the desktop portal's settings";
    read("org.gnome.desktop.a11y.interface", "high-contrast");
    read("org.freedesktop.appearance", "contrast");
  }

public Q_SLOTS:
  void settingChanged(const QString &ns, const QString &key, const QDBusVariant &value) {
    take(ns, key, unwrap(value.variant()));
  }

private:
  void read(const QString &ns, const QString &key) {
    QDBusMessage call = QDBusMessage::createMethodCall(portalService, portalPath, portalInterface, "Read");
    call << ns << key;
    auto *watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, ns, key](QDBusPendingCallWatcher *w) {
      const QDBusPendingReply<QDBusVariant> reply = *w;
      if (!reply.isError())
        take(ns, key, unwrap(reply.value().variant()));
      w->deleteLater();
    });
  }

  void take(const QString &ns, const QString &key, const QVariant &value) {
    if (ns == "org.gnome.desktop.a11y.interface" && key == "high-contrast")
      highContrast_ = value.toBool();
    else if (ns == "org.freedesktop.appearance" && key == "contrast")
      appearanceContrast_ = value.toUInt() == 1;
    else
      return;
    options_.setPortalValue(highContrast_.value_or(false) || appearanceContrast_.value_or(false));
  }

  AccessibilityOptions &options_;
  std::optional<bool> highContrast_, appearanceContrast_;
};

} // namespace

AccessibilityOptions::AccessibilityOptions(QObject *parent) : QObject(parent) {}

AccessibilityOptions &AccessibilityOptions::shared() {
  static AccessibilityOptions *options = [] {
    auto *made = new AccessibilityOptions;
    made->reload(SettingsStore::standard());
    made->followDesktopPortal();
    return made;
  }();
  return *options;
}

bool AccessibilityOptions::resolve(const Sources &sources) {
  if (sources.environment)
    return *sources.environment;
  if (sources.setting)
    return *sources.setting;
  return sources.portal.value_or(false);
}

std::optional<bool> AccessibilityOptions::parseFlag(QStringView text) {
  const QString t = text.trimmed().toString().toLower();
  if (t == "1" || t == "true" || t == "yes" || t == "on")
    return true;
  if (t == "0" || t == "false" || t == "no" || t == "off")
    return false;
  return std::nullopt;
}

void AccessibilityOptions::followDesktopPortal() {
  if (!findChild<PortalContrast *>(QString(), Qt::FindDirectChildrenOnly))
    new PortalContrast(*this);
}

void AccessibilityOptions::update(Sources next) {
  const bool before = reduceTransparency();
  sources_ = next;
  if (reduceTransparency() != before)
    Q_EMIT changed();
}

void AccessibilityOptions::setEnvironmentValue(std::optional<bool> value) {
  Sources next = sources_;
  next.environment = value;
  update(next);
}

void AccessibilityOptions::setSettingValue(std::optional<bool> value) {
  Sources next = sources_;
  next.setting = value;
  update(next);
}

void AccessibilityOptions::setPortalValue(std::optional<bool> value) {
  Sources next = sources_;
  next.portal = value;
  update(next);
}

void AccessibilityOptions::reload(const SettingsStore &store) {
  Sources next = sources_;
  next.environment = parseFlag(qEnvironmentVariable(environmentVariable));
  const QVariant stored = store.value(settingKey);
  next.setting = stored.isValid() ? parseFlag(stored.toString()) : std::nullopt;
  update(next);
}

} // namespace crel

#include "AccessibilityOptions.moc"
