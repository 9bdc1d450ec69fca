#pragma once

#include <QDBusConnection>

namespace crel {

// Whether the desktop has a system tray to hold a status icon, asked of the
// desktop itself each time, so a panel that starts later is seen:
// a StatusNotifier host registered on the session bus (KDE Plasma, GNOME's
// AppIndicator extension, most panels), or an owner of the XEmbed manager
// selection _NET_SYSTEM_TRAY_S<screen> on X11 (trayer, stalonetray, older
// panels). Qt's own answer for the bus is taken once per process and kept.
class SystemTray {
public:
  static constexpr const char *watcherService = "org.kde.StatusNotifierWatcher";
  static constexpr const char *watcherPath = "/StatusNotifierWatcher";

  // A platform that shows no windows (offscreen, minimal) has none.
  static bool available();
  static bool hasStatusNotifierHost(const QDBusConnection &bus);
  // False on any platform but X11.
  static bool hasXEmbedManager();
};

} // namespace crel
