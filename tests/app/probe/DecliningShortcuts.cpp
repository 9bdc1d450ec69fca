// A desktop's GlobalShortcuts backend that declines every session it is
// asked for, after the delay given in milliseconds, as a desktop does whose
// user says no: the front end hands the answer on to the application.
//
//   crel-declining-shortcuts DELAY_MS
//
// It owns org.freedesktop.impl.portal.desktop.crel-declining on the session
// bus; a .portal file naming it makes the front end use it.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QTimer>
#include <QVariantMap>

#include <cstdio>

namespace {

class DecliningShortcuts : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.impl.portal.GlobalShortcuts")
public:
  explicit DecliningShortcuts(int delayMs) : delayMs_(delayMs) {}

public Q_SLOTS:
  void CreateSession(const QDBusObjectPath &, const QDBusObjectPath &, const QString &, const QVariantMap &,
                     const QDBusMessage &message) {
    message.setDelayedReply(true);
    // 2: the interaction ended some other way than by the user's yes or cancel.
    const QDBusMessage reply = message.createReply({QVariant::fromValue(2u), QVariantMap()});
    QTimer::singleShot(delayMs_, this, [reply] { QDBusConnection::sessionBus().send(reply); });
  }

private:
  int delayMs_;
};

} // namespace

int main(int argc, char **argv) {
  QCoreApplication app(argc, argv);
  bool number = false;
  const int delayMs = argc == 2 ? QString::fromLocal8Bit(argv[1]).toInt(&number) : 0;
  if (!number || delayMs < 0) {
    std::fputs("usage: crel-declining-shortcuts DELAY_MS\n", stderr);
    return 2;
  }
  QDBusConnection bus = QDBusConnection::sessionBus();
  DecliningShortcuts backend(delayMs);
  if (!bus.registerObject(QStringLiteral("/org/freedesktop/portal/desktop"), &backend,
                          QDBusConnection::ExportAllSlots) ||
      !bus.registerService(QStringLiteral("org.freedesktop.impl.portal.desktop.crel-declining"))) {
    std::fprintf(stderr, "crel-declining-shortcuts: %s\n", qPrintable(bus.lastError().message()));
    return 1;
  }
  return app.exec();
}

#include "DecliningShortcuts.moc"
