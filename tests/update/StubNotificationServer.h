#pragma once

#include <QObject>
#include <QStringList>
#include <QVariantMap>

// A notification server on the bus that records what it is sent.
class StubNotificationServer : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
  struct Call {
    QString appName;
    uint replacesId;
    QString appIcon;
    QString summary;
    QStringList actions;
    QVariantMap hints;
    int timeout;
  };
  QList<Call> notified;
  QList<uint> closed;
  uint nextId = 41;

public Q_SLOTS:
  uint Notify(const QString &appName, uint replacesId, const QString &appIcon, const QString &summary, const QString &,
              const QStringList &actions, const QVariantMap &hints, int timeout) {
    notified << Call{appName, replacesId, appIcon, summary, actions, hints, timeout};
    return replacesId ? replacesId : ++nextId;
  }
  void CloseNotification(uint id) { closed << id; }
  QStringList GetCapabilities() { return {"actions", "body"}; }

Q_SIGNALS:
  void ActionInvoked(uint id, const QString &action);
  void NotificationClosed(uint id, uint reason);
};
