// A desktop's GlobalShortcuts backend that binds nothing, after the delay
// given in milliseconds. MODE says how:
//
//   decline  the session is refused, as a desktop does whose user says no
//            (the default)
//   empty    the session is made, and every binding answered with success
//            and an empty list, as KDE's portal does when it binds nothing
//            (its list of the session's shortcuts is empty too)
//   rebind   as empty, then 2 s later the desktop binds `capture` after all
//            (ShortcutsChanged), to the keys "Meta+F5"
//   press    as empty, then 2 s later `capture` is activated on the session
//
//   crel-declining-shortcuts DELAY_MS [MODE]
//
// It owns org.freedesktop.impl.portal.desktop.crel-declining on the session
// bus; a .portal file naming it makes the front end use it. Each call it
// answers is named on a line of its standard output.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>
#include <QDateTime>
#include <QTimer>
#include <QVariantMap>

#include <cstdio>

namespace {

struct Shortcut {
  QString id;
  QVariantMap properties;
};

QDBusArgument &operator<<(QDBusArgument &argument, const Shortcut &shortcut) {
  argument.beginStructure();
  argument << shortcut.id << shortcut.properties;
  argument.endStructure();
  return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, Shortcut &shortcut) {
  argument.beginStructure();
  argument >> shortcut.id >> shortcut.properties;
  argument.endStructure();
  return argument;
}

} // namespace

Q_DECLARE_METATYPE(Shortcut)

namespace {

const QString interface = QStringLiteral("org.freedesktop.impl.portal.GlobalShortcuts");
const QString path = QStringLiteral("/org/freedesktop/portal/desktop");

// Handles the calls itself: a slot taking the shortcut list would be looked
// up by its type's name, which an anonymous namespace's type does not match.
class DecliningShortcuts : public QDBusVirtualObject {
public:
  DecliningShortcuts(int delayMs, QString mode) : delayMs_(delayMs), mode_(std::move(mode)) {}

  QString introspect(const QString &) const override { return {}; }

  bool handleMessage(const QDBusMessage &message, const QDBusConnection &) override {
    if (message.interface() != interface)
      return false;
    std::printf("%s\n", qPrintable(message.member()));
    std::fflush(stdout);
    if (message.member() == QStringLiteral("CreateSession")) {
      // 2: the interaction ended some other way than by the user's yes or cancel.
      answer(message, mode_ == QStringLiteral("decline") ? 2u : 0u, {});
      return true;
    }
    if (message.member() == QStringLiteral("ListShortcuts")) {
      answer(message, 0u, {{QStringLiteral("shortcuts"), QVariant::fromValue(QList<Shortcut>())}});
      return true;
    }
    if (message.member() != QStringLiteral("BindShortcuts"))
      return false;
    const QDBusObjectPath session = qvariant_cast<QDBusObjectPath>(message.arguments().value(1));
    answer(message, 0u, {{QStringLiteral("shortcuts"), QVariant::fromValue(QList<Shortcut>())}});
    if (mode_ != QStringLiteral("rebind") && mode_ != QStringLiteral("press"))
      return true;
    QTimer::singleShot(delayMs_ + 2000, this, [this, session] {
      const bool press = mode_ == QStringLiteral("press");
      QDBusMessage signal = QDBusMessage::createSignal(
          path, interface, press ? QStringLiteral("Activated") : QStringLiteral("ShortcutsChanged"));
      if (press)
        signal << QVariant::fromValue(session) << QStringLiteral("capture")
               << quint64(QDateTime::currentMSecsSinceEpoch()) << QVariantMap();
      else
        signal << QVariant::fromValue(session)
               << QVariant::fromValue(
                      QList<Shortcut>{{QStringLiteral("capture"),
                                       {{QStringLiteral("trigger_description"), QStringLiteral("Meta+F5")}}}});
      QDBusConnection::sessionBus().send(signal);
    });
    return true;
  }

private:
  void answer(const QDBusMessage &message, uint response, const QVariantMap &results) {
    const QDBusMessage reply = message.createReply({QVariant::fromValue(response), results});
    QTimer::singleShot(delayMs_, this, [reply] { QDBusConnection::sessionBus().send(reply); });
  }

  int delayMs_;
  QString mode_;
};

} // namespace

int main(int argc, char **argv) {
  QCoreApplication app(argc, argv);
  qDBusRegisterMetaType<Shortcut>();
  qDBusRegisterMetaType<QList<Shortcut>>();
  bool number = false;
  const int delayMs = argc >= 2 ? QString::fromLocal8Bit(argv[1]).toInt(&number) : 0;
  const QString mode = argc == 3 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral("decline");
  if (!number || delayMs < 0 || argc > 3 || !QStringList{"decline", "empty", "rebind", "press"}.contains(mode)) {
    std::fputs("usage: crel-declining-shortcuts DELAY_MS [decline|empty|rebind|press]\n", stderr);
    return 2;
  }
  QDBusConnection bus = QDBusConnection::sessionBus();
  DecliningShortcuts backend(delayMs, mode);
  if (!bus.registerVirtualObject(path, &backend) ||
      !bus.registerService(QStringLiteral("org.freedesktop.impl.portal.desktop.crel-declining"))) {
    std::fprintf(stderr, "crel-declining-shortcuts: %s\n", qPrintable(bus.lastError().message()));
    return 1;
  }
  return app.exec();
}
