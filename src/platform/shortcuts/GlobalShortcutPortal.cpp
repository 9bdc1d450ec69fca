#include "GlobalShortcutPortal.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QLoggingCategory>
#include <QUuid>

#include <functional>
#include <map>

Q_LOGGING_CATEGORY(lcShortcutPortal, "crel.portal.shortcuts")

namespace crel {

namespace {

const QString service = QStringLiteral("org.freedesktop.portal.Desktop");
const QString objectPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString interface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");

// One entry of the portal's a(sa{sv}) shortcut lists.
struct PortalShortcut {
  QString id;
  QVariantMap properties;
};

} // namespace

} // namespace crel

Q_DECLARE_METATYPE(crel::PortalShortcut)

namespace crel {

namespace {

QDBusArgument &operator<<(QDBusArgument &argument, const PortalShortcut &shortcut) {
  argument.beginStructure();
  argument << shortcut.id << shortcut.properties;
  argument.endStructure();
  return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, PortalShortcut &shortcut) {
  argument.beginStructure();
  argument >> shortcut.id >> shortcut.properties;
  argument.endStructure();
  return argument;
}

// The desktop's own words, cut to what a line of the settings or of the log holds.
QString shortened(const QString &text) {
  constexpr qsizetype most = 40;
  if (text.size() <= most)
    return text;
  const qsizetype end = text.at(most - 1).isHighSurrogate() ? most - 1 : most;
  return text.left(end) + QChar(0x2026);
}

class DBusGlobalShortcutPortal final : public GlobalShortcutPortal {
  Q_OBJECT
public:
  explicit DBusGlobalShortcutPortal(uint version) : GlobalShortcutPortal(version) {
    qDBusRegisterMetaType<PortalShortcut>();
    qDBusRegisterMetaType<QList<PortalShortcut>>();
    // Read from the message: a slot with a QVariantMap parameter is never
    // matched to the signal's a{sv} (its normalised name differs), so the
    // connection would silently not be made.
    bus_.connect(service, objectPath, interface, QStringLiteral("Activated"), this,
                 SLOT(activatedSignal(QDBusMessage)));
    bus_.connect(service, objectPath, interface, QStringLiteral("ShortcutsChanged"), this,
                 SLOT(shortcutsChangedSignal(QDBusMessage)));
  }

  void bind(const QString &id, const QString &description, const QString &trigger) override {
    openSession(id, [this, id, description, trigger] {
      const QList<PortalShortcut> shortcuts{
          {id, {{QStringLiteral("description"), description}, {QStringLiteral("preferred_trigger"), trigger}}}};
      request(QStringLiteral("BindShortcuts"),
              {QVariant::fromValue(QDBusObjectPath(session_)), QVariant::fromValue(shortcuts), QString(),
               QVariantMap{{QStringLiteral("handle_token"), token()}}},
              [this](const QVariantMap &answer) {
                // Only a well-typed answer is the desktop's lasting word: a
                // malformed one binds nothing this time and is asked again.
                const QVariant listed = answer.value(QStringLiteral("shortcuts"));
                if (listed.isValid() && !typed(listed, QLatin1String("a(sa{sv})"))) {
                  qCWarning(lcShortcutPortal)
                      << "the desktop bound no capture shortcut this time; it is asked again at the next launch";
                  Q_EMIT failed();
                  return;
                }
                // A success that lists no binding of ours binds nothing (KDE's portal answers so).
                if (!takeList(listed)) {
                  qCWarning(lcShortcutPortal) << "the desktop declined the capture shortcut: it bound none";
                  Q_EMIT boundNothing();
                }
              });
    });
  }

  void follow(const QString &id) override {
    openSession(id, [this] {
      request(QStringLiteral("ListShortcuts"),
              {QVariant::fromValue(QDBusObjectPath(session_)), QVariantMap{{QStringLiteral("handle_token"), token()}}},
              [this](const QVariantMap &answer) {
                if (!takeList(answer.value(QStringLiteral("shortcuts")))) {
                  qCInfo(lcShortcutPortal) << "the desktop binds no capture shortcut; it bound none when last asked, "
                                              "so it is not asked again";
                  Q_EMIT failed();
                }
              });
    });
  }

private Q_SLOTS:
  void activatedSignal(const QDBusMessage &message) {
    if (onSession(message))
      Q_EMIT activated(message.arguments()[1].toString());
  }

  void shortcutsChangedSignal(const QDBusMessage &message) {
    if (!onSession(message))
      return;
    if (!takeList(message.arguments()[1])) {
      qCWarning(lcShortcutPortal) << "the desktop no longer binds the capture shortcut";
      Q_EMIT unbound();
    }
  }

  void responseSignal(const QDBusMessage &message) {
    const auto found = pending_.find(message.path());
    if (found == pending_.end())
      return;
    const std::function<void(const QVariantMap &)> done = std::move(found->second);
    pending_.erase(found);
    bus_.disconnect(service, message.path(), QStringLiteral("org.freedesktop.portal.Request"),
                    QStringLiteral("Response"), this, SLOT(responseSignal(QDBusMessage)));
    const QList<QVariant> arguments = message.arguments();
    if (arguments.size() != 2 || arguments[0].metaType().id() != QMetaType::UInt || arguments[0].toUInt() != 0) {
      qCWarning(lcShortcutPortal).noquote() << "the desktop declined the capture shortcut; it answered"
                                            << message.signature() << shortened(arguments.value(0).toString());
      Q_EMIT failed();
      return;
    }
    if (!typed(arguments[1], QLatin1String("a{sv}"))) {
      qCWarning(lcShortcutPortal) << "the shortcut portal's answer is read as nothing bound";
      Q_EMIT failed();
      return;
    }
    done(qdbus_cast<QVariantMap>(arguments[1]));
  }

private:
  // A session signal's session is the one open now.
  bool onSession(const QDBusMessage &message) const {
    const QList<QVariant> arguments = message.arguments();
    return arguments.size() >= 2 && !session_.isEmpty() &&
           qvariant_cast<QDBusObjectPath>(arguments[0]).path() == session_;
  }

  // Opens a session for `id`, in place of the one open, then runs `then`.
  void openSession(const QString &id, std::function<void()> then) {
    // A session binds once: a new binding asks for a new session.
    closeSession();
    id_ = id;
    const QString sessionToken = token();
    request(QStringLiteral("CreateSession"),
            {QVariantMap{{QStringLiteral("handle_token"), token()},
                         {QStringLiteral("session_handle_token"), sessionToken}}},
            [this, then = std::move(then)](const QVariantMap &results) {
              session_ = results.value(QStringLiteral("session_handle")).toString();
              if (session_.isEmpty()) {
                Q_EMIT failed();
                return;
              }
              then();
            });
  }

  // Whether `value` is D-Bus data of `signature`; what is not is never
  // demarshalled as that type, which would crash (what came is said once).
  bool typed(const QVariant &value, QLatin1String signature) {
    const bool argument = value.metaType() == QMetaType::fromType<QDBusArgument>();
    const QString found = argument ? value.value<QDBusArgument>().currentSignature() : QString(value.typeName());
    if (found == signature)
      return true;
    if (!malformedSaid_)
      qCWarning(lcShortcutPortal).noquote() << "the shortcut portal sent" << found << "where" << signature << "belongs";
    malformedSaid_ = true;
    return false;
  }

  // Says bound() when the desktop's list of shortcuts holds ours.
  bool takeList(const QVariant &shortcuts) {
    if (!shortcuts.isValid())
      return false;
    if (!typed(shortcuts, QLatin1String("a(sa{sv})"))) {
      qCWarning(lcShortcutPortal) << "the desktop's list of shortcuts is read as nothing bound";
      return false;
    }
    for (const PortalShortcut &shortcut : qdbus_cast<QList<PortalShortcut>>(shortcuts))
      if (shortcut.id == id_) {
        const QString described =
            shortened(shortcut.properties.value(QStringLiteral("trigger_description")).toString());
        qCInfo(lcShortcutPortal).noquote() << "the desktop bound" << id_ << "to" << described;
        Q_EMIT bound(described);
        return true;
      }
    return false;
  }

  static QString token() { return QStringLiteral("crel_") + QUuid::createUuid().toString(QUuid::Id128); }

  // Calls `method` and hands the results of its Request's answer to `done`.
  void request(const QString &method, const QList<QVariant> &arguments, std::function<void(const QVariantMap &)> done) {
    // The answer's path is known before the call (the handle token), so
    // the subscription is in place before any answer can come.
    const QVariantMap options = qvariant_cast<QVariantMap>(arguments.back());
    const QString sender = bus_.baseService().mid(1).replace(QLatin1Char('.'), QLatin1Char('_'));
    const QString path = QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2")
                             .arg(sender, options.value(QStringLiteral("handle_token")).toString());
    pending_[path] = std::move(done);
    bus_.connect(service, path, QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Response"), this,
                 SLOT(responseSignal(QDBusMessage)));
    QDBusMessage call = QDBusMessage::createMethodCall(service, objectPath, interface, method);
    call.setArguments(arguments);
    auto *watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, path](QDBusPendingCallWatcher *w) {
      w->deleteLater();
      if (!w->isError())
        return;
      qCWarning(lcShortcutPortal) << "the shortcut portal failed:" << w->error().message();
      pending_.erase(path);
      Q_EMIT failed();
    });
  }

  void closeSession() {
    if (session_.isEmpty())
      return;
    bus_.asyncCall(QDBusMessage::createMethodCall(service, session_, QStringLiteral("org.freedesktop.portal.Session"),
                                                  QStringLiteral("Close")));
    session_.clear();
  }

  QDBusConnection bus_ = QDBusConnection::sessionBus();
  QString session_;
  QString id_;
  bool malformedSaid_ = false;
  std::map<QString, std::function<void(const QVariantMap &)>> pending_;
};

} // namespace

std::unique_ptr<GlobalShortcutPortal> GlobalShortcutPortal::onSessionBus() {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected())
    return nullptr;
  QDBusMessage get = QDBusMessage::createMethodCall(
      service, objectPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
  get << interface << QStringLiteral("version");
  // A desktop without the interface answers at once with an error.
  const QDBusMessage reply = bus.call(get, QDBus::Block, 2000);
  if (reply.type() != QDBusMessage::ReplyMessage)
    return nullptr;
  // Kept with a desktop's answer that bound nothing: a new version is asked again.
  const QVariant version = qvariant_cast<QDBusVariant>(reply.arguments().value(0)).variant();
  return std::make_unique<DBusGlobalShortcutPortal>(version.metaType().id() == QMetaType::UInt ? version.toUInt() : 0);
}

} // namespace crel

#include "GlobalShortcutPortal.moc"
