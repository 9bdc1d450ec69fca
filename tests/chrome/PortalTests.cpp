#include "chrome/AccessibilityOptions.h"

#include <QDBusConnection>
#include <QDBusVariant>
#include <QTest>

#include <gtest/gtest.h>

namespace {

// The desktop portal's Settings interface, as far as the options use it.
// Read answers a variant inside a variant, as older portals do.
class FakePortal : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Settings")
public:
  QHash<QString, QVariant> values;

public Q_SLOTS:
  QDBusVariant Read(const QString &ns, const QString &key) {
    return QDBusVariant(QVariant::fromValue(QDBusVariant(values.value(ns + '/' + key))));
  }

Q_SIGNALS:
  void SettingChanged(const QString &ns, const QString &key, const QDBusVariant &value);
};

// Runs only on a session bus (CTest starts one for it with scripts/private-bus).
TEST(DesktopPortal, HighContrastTurnsTransparencyOffAndIsFollowed) {
  if (!QDBusConnection::sessionBus().isConnected())
    GTEST_SKIP() << "no session bus";
  // The portal is another client of the bus, as the real one is.
  QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "fake-portal");
  ASSERT_TRUE(bus.isConnected());
  FakePortal portal;
  portal.values.insert("org.gnome.desktop.a11y.interface/high-contrast", true);
  portal.values.insert("org.freedesktop.appearance/contrast", 0u);
  ASSERT_TRUE(bus.registerObject("/org/freedesktop/portal/desktop", &portal,
                                 QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals));
  ASSERT_TRUE(bus.registerService("org.freedesktop.portal.Desktop"));

  crel::AccessibilityOptions options;
  options.followDesktopPortal();
  ASSERT_TRUE(QTest::qWaitFor([&] { return options.reduceTransparency(); }, 5000));
  EXPECT_EQ(options.sources().portal, true);

  Q_EMIT portal.SettingChanged("org.gnome.desktop.a11y.interface", "high-contrast", QDBusVariant(false));
  ASSERT_TRUE(QTest::qWaitFor([&] { return !options.reduceTransparency(); }, 5000));
  Q_EMIT portal.SettingChanged("org.freedesktop.appearance", "contrast", QDBusVariant(1u));
  ASSERT_TRUE(QTest::qWaitFor([&] { return options.reduceTransparency(); }, 5000));
  options.setSettingValue(false); // the user's own setting outranks the desktop
  EXPECT_FALSE(options.reduceTransparency());

  bus.unregisterService("org.freedesktop.portal.Desktop");
  bus.unregisterObject("/org/freedesktop/portal/desktop");
  QDBusConnection::disconnectFromBus("fake-portal");
}

} // namespace

#include "PortalTests.moc"
