#pragma once

#include <QDBusConnection>
#include <QObject>

#include <memory>

namespace crel {

// Whether the desktop has a system tray to hold a status icon, followed as
// trays come and go, without ever waiting for an answer: a StatusNotifier
// host registered with org.kde.StatusNotifierWatcher on the session bus (KDE
// Plasma, GNOME's AppIndicator extension, most panels), learnt from the
// watcher's name changes and host signals and asked asynchronously; or an
// owner of the XEmbed manager selection _NET_SYSTEM_TRAY_S<screen> on X11
// (trayer, stalonetray, older panels), learnt from the X server's selection
// events. A watcher that never answers counts as no host, and is asked again
// each time its question times out.
class SystemTray : public QObject {
  Q_OBJECT
public:
  static constexpr const char *watcherService = "org.kde.StatusNotifierWatcher";
  static constexpr const char *watcherPath = "/StatusNotifierWatcher";

  explicit SystemTray(QDBusConnection bus = QDBusConnection::sessionBus(), QObject *parent = nullptr);
  ~SystemTray() override;

  // What is known now. A platform that shows no windows (offscreen,
  // minimal) has none.
  bool available() const { return host_ || xembed_; }
  bool hasStatusNotifierHost() const { return host_; }
  // False on any platform but X11.
  bool hasXEmbedManager() const { return xembed_; }
  // No watcher runs, or the one that runs answered our last question: a
  // caller that reads it and waits for the answer (Qt's tray does) is not
  // held up.
  bool hasWatcherAnswered() const { return answered_; }

Q_SIGNALS:
  // available() changed, or an answer came from a watcher not heard until then.
  void changed(bool available);

private Q_SLOTS:
  // Asks the watcher whether a host is registered; the answer comes later.
  void askWatcher();

private:
  class XEmbedSelection;
  // Says so when the answer of available() changes, or the watcher answered.
  void set(bool host, bool xembed, bool answered);

  QDBusConnection bus_;
  std::unique_ptr<XEmbedSelection> selection_;
  // Only the answer to the latest question counts.
  quint64 question_ = 0;
  bool host_ = false;
  bool xembed_ = false;
  bool answered_ = true;
};

} // namespace crel
