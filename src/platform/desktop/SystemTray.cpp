#include "SystemTray.h"

#include "X11Atom.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QGuiApplication>

#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include <cstdlib>
#include <functional>

namespace crel {

namespace {

// A watcher slower than this to answer counts as having no host.
constexpr int answerTimeoutMs = 10'000;

bool onPlatform(const char *name) { return QGuiApplication::platformName() == QLatin1String(name); }

template <typename T> using Reply = std::unique_ptr<T, decltype(&std::free)>;

} // namespace

// The XEmbed manager selection of the screen the application is on, followed
// through XFixes selection events on Qt's own connection.
class SystemTray::XEmbedSelection final : public QAbstractNativeEventFilter {
public:
  explicit XEmbedSelection(std::function<void(bool)> owned) : owned_(std::move(owned)) {
    const auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    connection_ = x11 ? x11->connection() : nullptr;
    if (!connection_ || xcb_connection_has_error(connection_))
      return;
    int screen = 0;
    char *host = nullptr;
    int display = 0;
    if (xcb_parse_display(nullptr, &host, &display, &screen))
      std::free(host);
    const QByteArray name = "_NET_SYSTEM_TRAY_S" + QByteArray::number(screen);
    atom_ = internX11Atom(connection_, name);
    if (atom_ == XCB_ATOM_NONE)
      return;
    xcb_screen_iterator_t roots = xcb_setup_roots_iterator(xcb_get_setup(connection_));
    for (int i = 0; i < screen && roots.rem > 1; ++i)
      xcb_screen_next(&roots);
    // Qt's connection has XFixes set up already (its clipboard needs it).
    const xcb_query_extension_reply_t *fixes = xcb_get_extension_data(connection_, &xcb_xfixes_id);
    if (fixes && fixes->present && roots.data) {
      fixesEvent_ = fixes->first_event + XCB_XFIXES_SELECTION_NOTIFY;
      xcb_xfixes_select_selection_input(connection_, roots.data->root, atom_,
                                        XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER |
                                            XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_WINDOW_DESTROY |
                                            XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_CLIENT_CLOSE);
      QCoreApplication::instance()->installNativeEventFilter(this);
    }
    // Asked after the events were asked for, so no change falls between.
    owned_(ownerNow());
  }
  ~XEmbedSelection() override {
    if (fixesEvent_ >= 0 && QCoreApplication::instance())
      QCoreApplication::instance()->removeNativeEventFilter(this);
  }

  bool nativeEventFilter(const QByteArray &type, void *message, qintptr *) override {
    if (type != "xcb_generic_event_t")
      return false;
    const auto *event = static_cast<const xcb_generic_event_t *>(message);
    if ((event->response_type & 0x7f) != fixesEvent_)
      return false;
    const auto *notify = reinterpret_cast<const xcb_xfixes_selection_notify_event_t *>(event);
    if (notify->selection == atom_)
      owned_(notify->subtype == XCB_XFIXES_SELECTION_EVENT_SET_SELECTION_OWNER && notify->owner != XCB_WINDOW_NONE);
    return false; // Qt's clipboard reads these events too
  }

private:
  bool ownerNow() const {
    const Reply<xcb_get_selection_owner_reply_t> owner(
        xcb_get_selection_owner_reply(connection_, xcb_get_selection_owner(connection_, atom_), nullptr), &std::free);
    return owner && owner->owner != XCB_WINDOW_NONE;
  }

  std::function<void(bool)> owned_;
  xcb_connection_t *connection_ = nullptr;
  xcb_atom_t atom_ = XCB_ATOM_NONE;
  int fixesEvent_ = -1;
};

SystemTray::SystemTray(QDBusConnection bus, QObject *parent) : QObject(parent), bus_(std::move(bus)) {
  if (!onPlatform("xcb") && !onPlatform("wayland"))
    return;
  if (onPlatform("xcb"))
    selection_ = std::make_unique<XEmbedSelection>([this](bool owned) { set(host_, owned, answered_); });
  if (!bus_.isConnected())
    return;
  auto *names = new QDBusServiceWatcher(QLatin1String(watcherService), bus_,
                                        QDBusServiceWatcher::WatchForOwnerChange, this);
  connect(names, &QDBusServiceWatcher::serviceOwnerChanged, this,
          [this](const QString &, const QString &, const QString &owner) {
            if (!owner.isEmpty()) {
              answered_ = false; // a new watcher, not yet heard
              return askWatcher();
            }
            ++question_; // an answer still on its way is the old watcher's
            set(false, xembed_, true);
          });
  // From any sender: a signal only makes us ask the watcher itself.
  for (const char *signal : {"StatusNotifierHostRegistered", "StatusNotifierHostUnregistered"})
    bus_.connect(QString(), QLatin1String(watcherPath), QLatin1String(watcherService), QLatin1String(signal), this,
                 SLOT(askWatcher()));
  answered_ = false;
  askWatcher();
}

SystemTray::~SystemTray() = default;

void SystemTray::askWatcher() {
  QDBusMessage get =
      QDBusMessage::createMethodCall(QLatin1String(watcherService), QLatin1String(watcherPath),
                                     QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
  get << QLatin1String(watcherService) << QStringLiteral("IsStatusNotifierHostRegistered");
  const quint64 question = ++question_;
  auto *answer = new QDBusPendingCallWatcher(bus_.asyncCall(get, answerTimeoutMs), this);
  connect(answer, &QDBusPendingCallWatcher::finished, this, [this, question](QDBusPendingCallWatcher *call) {
    call->deleteLater();
    if (question != question_)
      return;
    const QDBusPendingReply<QDBusVariant> reply = *call;
    const QDBusError::ErrorType error = reply.isError() ? reply.error().type() : QDBusError::NoError;
    const bool silent = error == QDBusError::NoReply || error == QDBusError::Timeout;
    set(error == QDBusError::NoError && reply.value().variant().toBool(), xembed_, !silent);
    if (silent)
      askWatcher(); // it still holds its name: its answer may yet come
  });
}

void SystemTray::set(bool host, bool xembed, bool answered) {
  const bool before = available();
  // Only an arriving answer lets an icon be made; a watcher falling silent hides none.
  const bool heard = answered && !answered_;
  host_ = host;
  xembed_ = xembed;
  answered_ = answered;
  if (available() != before || heard)
    Q_EMIT changed(available());
}

} // namespace crel
