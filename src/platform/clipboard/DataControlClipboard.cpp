#include "DataControlClipboard.h"

#include "PasteServer.h"
#include "platform/desktop/WaylandSession.h"

#include "ext-data-control-v1-client-protocol.h"
#include "wlr-data-control-unstable-v1-client-protocol.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QPointer>
#include <QSocketNotifier>

#include <wayland-client.h>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <map>
#include <optional>
#include <poll.h>
#include <unistd.h>
#include <vector>

namespace crel {

namespace {

// The staging protocol and the wlroots one are the same messages under two
// names. Objects are made with the interfaces of the manager found; every
// other request and event goes through the wlroots stubs and listeners,
// which marshal and dispatch by the object's own interface.
struct Interfaces {
  const wl_interface *manager, *source, *device;
};
const Interfaces staging{&ext_data_control_manager_v1_interface, &ext_data_control_source_v1_interface,
                         &ext_data_control_device_v1_interface};
const Interfaces wlroots{&zwlr_data_control_manager_v1_interface, &zwlr_data_control_source_v1_interface,
                         &zwlr_data_control_device_v1_interface};

struct Seat {
  wl_seat *seat = nullptr;
  QString name;
};

struct Source {
  zwlr_data_control_source_v1 *proxy = nullptr;
  QMap<QString, QByteArray> bytes;
  // Destroyed on the wire by withdraw, the proxy kept for its round trip.
  bool withdrawn = false;
};

} // namespace

struct DataControlClipboard::Connection {
  wl_display *display = nullptr;
  wl_registry *registry = nullptr;
  const Interfaces *interfaces = nullptr;
  uint32_t managerName = 0;
  wl_proxy *manager = nullptr;
  std::vector<std::unique_ptr<Seat>> seats;
  zwlr_data_control_device_v1 *device = nullptr;
  std::vector<std::unique_ptr<Source>> sources;
  Source *current = nullptr;
  std::map<zwlr_data_control_offer_v1 *, QStringList> offers;
  zwlr_data_control_offer_v1 *selection = nullptr;
  // `selection` events so far, and the one whose read missed its deadline.
  // Counted, since a new offer may be given an old one's address.
  quint64 selections = 0;
  std::optional<quint64> missed;
  QPointer<QSocketNotifier> notifier;
  bool failed = false;
  // Closes the connection once the callback that saw it fail has returned,
  // so the compositor drops its sources.
  std::function<void()> closeSoon;

  ~Connection() {
    delete notifier.data();
    for (const auto &[offer, types] : offers)
      zwlr_data_control_offer_v1_destroy(offer);
    for (const auto &source : sources)
      zwlr_data_control_source_v1_destroy(source->proxy);
    if (device)
      zwlr_data_control_device_v1_destroy(device);
    if (manager)
      zwlr_data_control_manager_v1_destroy(reinterpret_cast<zwlr_data_control_manager_v1 *>(manager));
    for (const auto &seat : seats)
      wl_seat_destroy(seat->seat);
    if (registry)
      wl_registry_destroy(registry);
    if (display)
      wl_display_disconnect(display);
  }

  void fail() {
    if (failed)
      return;
    failed = true;
    current = nullptr;
    if (notifier)
      notifier->setEnabled(false);
    if (closeSoon)
      closeSoon();
  }

  // Reads what has arrived, without waiting, and runs its events.
  void dispatch() {
    if (failed)
      return;
    if (wl_display_prepare_read(display) == 0) {
      pollfd ready{wl_display_get_fd(display), POLLIN, 0};
      if (::poll(&ready, 1, 0) > 0)
        wl_display_read_events(display);
      else
        wl_display_cancel_read(display);
    }
    if (wl_display_dispatch_pending(display) < 0 || (wl_display_flush(display) < 0 && errno != EAGAIN))
      fail();
  }

  // A round trip within `deadline` on a connection still usable.
  bool sync(const QDeadlineTimer &deadline) {
    if (failed)
      return false;
    const bool answered = WaylandSession::roundtrip(display, deadline);
    if (wl_display_get_error(display) != 0)
      fail();
    return answered && !failed;
  }

  Source *source(zwlr_data_control_source_v1 *proxy) {
    const auto found =
        std::find_if(sources.begin(), sources.end(), [proxy](const auto &s) { return s->proxy == proxy; });
    return found == sources.end() ? nullptr : found->get();
  }

  void dropOffer(zwlr_data_control_offer_v1 *offer) {
    if (!offer)
      return;
    offers.erase(offer);
    zwlr_data_control_offer_v1_destroy(offer);
  }
};

namespace {

using Connection = DataControlClipboard::Connection;

const zwlr_data_control_source_v1_listener sourceListener{
    [](void *data, zwlr_data_control_source_v1 *proxy, const char *mimeType, int32_t fd) {
      Source *source = static_cast<Connection *>(data)->source(proxy);
      if (source && source->bytes.contains(QString::fromUtf8(mimeType)))
        PasteServer::shared().serve(fd, source->bytes.value(QString::fromUtf8(mimeType)));
      else
        ::close(fd);
    },
    // Another copy replaced ours: the source and its bytes go. One withdraw
    // already destroyed is only freed here: a second destroy names an object
    // the compositor no longer has, and it ends the connection for that.
    [](void *data, zwlr_data_control_source_v1 *proxy) {
      auto *connection = static_cast<Connection *>(data);
      const Source *source = connection->source(proxy);
      const bool withdrawn = source && source->withdrawn;
      if (connection->current && connection->current->proxy == proxy)
        connection->current = nullptr;
      std::erase_if(connection->sources, [proxy](const auto &s) { return s->proxy == proxy; });
      if (withdrawn)
        wl_proxy_destroy(reinterpret_cast<wl_proxy *>(proxy));
      else
        zwlr_data_control_source_v1_destroy(proxy);
    },
};

const zwlr_data_control_offer_v1_listener offerListener{
    [](void *data, zwlr_data_control_offer_v1 *offer, const char *mimeType) {
      static_cast<Connection *>(data)->offers[offer].append(QString::fromUtf8(mimeType));
    },
};

const zwlr_data_control_device_v1_listener deviceListener{
    [](void *data, zwlr_data_control_device_v1 *, zwlr_data_control_offer_v1 *offer) {
      static_cast<Connection *>(data)->offers[offer];
      zwlr_data_control_offer_v1_add_listener(offer, &offerListener, data);
    },
    [](void *data, zwlr_data_control_device_v1 *, zwlr_data_control_offer_v1 *offer) {
      auto *connection = static_cast<Connection *>(data);
      if (connection->selection != offer)
        connection->dropOffer(connection->selection);
      connection->selection = offer;
      ++connection->selections;
    },
    [](void *data, zwlr_data_control_device_v1 *) { static_cast<Connection *>(data)->fail(); },
    // The primary selection is not ours to read.
    [](void *data, zwlr_data_control_device_v1 *, zwlr_data_control_offer_v1 *offer) {
      auto *connection = static_cast<Connection *>(data);
      if (offer != connection->selection)
        connection->dropOffer(offer);
    },
};

const wl_seat_listener seatListener{
    [](void *, wl_seat *, uint32_t) {},
    [](void *data, wl_seat *, const char *name) { static_cast<Seat *>(data)->name = QString::fromUtf8(name); },
};

const wl_registry_listener registryListener{
    [](void *data, wl_registry *registry, uint32_t name, const char *interface, uint32_t version) {
      auto *connection = static_cast<Connection *>(data);
      const QByteArray found(interface);
      if (found == wl_seat_interface.name) {
        auto seat = std::make_unique<Seat>();
        seat->seat =
            static_cast<wl_seat *>(wl_registry_bind(registry, name, &wl_seat_interface, std::min(version, 2u)));
        wl_seat_add_listener(seat->seat, &seatListener, seat.get());
        connection->seats.push_back(std::move(seat));
      } else if (found == staging.manager->name ||
                 (found == wlroots.manager->name && connection->interfaces != &staging)) {
        connection->interfaces = found == staging.manager->name ? &staging : &wlroots;
        connection->managerName = name;
      }
    },
    [](void *, wl_registry *, uint32_t) {},
};

// What asking the compositor found: a connection with its device on the
// chosen seat; none, and `offered` false, when the compositor answered
// without data-control or without a seat; none, and `late`, when it did not
// answer by the deadline.
struct Probe {
  std::unique_ptr<Connection> connection;
  bool offered = true;
  bool late = false;
};

Probe open(const QProcessEnvironment &environment, const QDeadlineTimer &deadline) {
  auto c = std::make_unique<Connection>();
  bool late = false;
  c->display = WaylandSession::connect(environment, deadline, late);
  if (!c->display)
    return {nullptr, true, late};
  const auto unanswered = [&c] { return Probe{nullptr, true, !c->failed}; };
  c->registry = wl_display_get_registry(c->display);
  wl_registry_add_listener(c->registry, &registryListener, c.get());
  // The globals, then the seats' names. A connection closed before the
  // globals came told nothing either: the compositor may be ending or
  // overloaded, and its bridge would not fetch an X11 claim.
  if (!c->sync(deadline))
    return {nullptr, true, true};
  if (!c->interfaces || c->seats.empty())
    return {nullptr, false};
  if (!c->sync(deadline))
    return unanswered();
  c->manager = static_cast<wl_proxy *>(wl_registry_bind(c->registry, c->managerName, c->interfaces->manager, 1));
  // The seat Crel's X11 windows are on: XWayland takes the first, and a
  // compositor with several names its first seat0.
  const auto seat = std::find_if(c->seats.begin(), c->seats.end(), [](const auto &s) { return s->name == "seat0"; });
  wl_seat *chosen = (seat == c->seats.end() ? c->seats.front() : *seat)->seat;
  c->device = reinterpret_cast<zwlr_data_control_device_v1 *>(
      wl_proxy_marshal_flags(c->manager, ZWLR_DATA_CONTROL_MANAGER_V1_GET_DATA_DEVICE, c->interfaces->device,
                             wl_proxy_get_version(c->manager), 0, nullptr, chosen));
  zwlr_data_control_device_v1_add_listener(c->device, &deviceListener, c.get());
  if (!c->sync(deadline))
    return unanswered();
  if (QCoreApplication::instance()) {
    // Parented to the application, which outlives no event loop; the
    // connection deletes it when it goes first.
    c->notifier =
        new QSocketNotifier(wl_display_get_fd(c->display), QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(c->notifier, &QSocketNotifier::activated, c->notifier, [raw = c.get()] { raw->dispatch(); });
  }
  return {std::move(c)};
}

} // namespace

DataControlClipboard::DataControlClipboard(const QProcessEnvironment &environment) : environment_(environment) {}

DataControlClipboard::~DataControlClipboard() = default;

DataControlClipboard::Route DataControlClipboard::route(const QDeadlineTimer &deadline) {
  if (!offered_)
    return Route::x11;
  if (connection_ && !connection_->failed)
    return Route::dataControl;
  connection_.reset();
  Probe probe = open(environment_, deadline);
  offered_ = probe.offered;
  connection_ = std::move(probe.connection);
  if (!connection_)
    return probe.late ? Route::none : Route::x11;
  connection_->closeSoon = [this, generation = ++generation_] {
    QMetaObject::invokeMethod(
        &closer_,
        [this, generation] {
          if (generation == generation_)
            connection_.reset();
        },
        Qt::QueuedConnection);
  };
  return Route::dataControl;
}

bool DataControlClipboard::publish(const QMap<QString, QByteArray> &formats, const std::optional<QString> &text,
                                   const QDeadlineTimer &deadline) {
  Q_ASSERT(connection_);
  Connection &c = *connection_;
  if (c.failed)
    return false;
  QMap<QString, QByteArray> representations = formats;
  // The text under the names QClipboard offers it by.
  if (text)
    for (const char *type : {"text/plain;charset=utf-8", "text/plain", "UTF8_STRING"})
      representations.insert(QString::fromLatin1(type), text->toUtf8());
  auto source = std::make_unique<Source>();
  source->proxy = reinterpret_cast<zwlr_data_control_source_v1 *>(
      wl_proxy_marshal_flags(c.manager, ZWLR_DATA_CONTROL_MANAGER_V1_CREATE_DATA_SOURCE, c.interfaces->source,
                             wl_proxy_get_version(c.manager), 0, nullptr));
  zwlr_data_control_source_v1_add_listener(source->proxy, &sourceListener, &c);
  for (auto it = representations.cbegin(); it != representations.cend(); ++it)
    zwlr_data_control_source_v1_offer(source->proxy, it.key().toUtf8().constData());
  source->bytes = representations;
  zwlr_data_control_device_v1_set_selection(c.device, source->proxy);
  Source *published = source.get();
  c.sources.push_back(std::move(source));
  c.current = published;
  if (!c.sync(deadline)) {
    // Whether the compositor took it is unknown: closed, the connection
    // takes our source along, so a copy reported failed never shows up
    // later.
    connection_.reset();
    return false;
  }
  return c.current == published;
}

QStringList DataControlClipboard::types(const QDeadlineTimer &deadline) {
  Q_ASSERT(connection_);
  Connection &c = *connection_;
  c.sync(deadline);
  if (c.current)
    return c.current->bytes.keys();
  return c.selection ? c.offers[c.selection] : QStringList();
}

ClipboardRead DataControlClipboard::read(const QString &mimeType, const QDeadlineTimer &deadline, qsizetype cap) {
  Q_ASSERT(connection_);
  Connection &c = *connection_;
  // Without an answer the deadline has passed, and not by the owner's doing.
  const bool answered = c.sync(deadline);
  if (c.current)
    return {c.current->bytes.value(mimeType), true};
  if (!answered || c.missed == c.selections)
    return {};
  int pipe[2];
  if (!c.selection || !c.offers[c.selection].contains(mimeType) || ::pipe2(pipe, O_CLOEXEC) != 0)
    return {{}, true};
  zwlr_data_control_offer_v1_receive(c.selection, mimeType.toUtf8().constData(), pipe[1]);
  ::close(pipe[1]);
  wl_display_flush(c.display);
  // Only the owner's end of the pipe, or the cap, makes the answer whole.
  // Once the deadline has passed the owner gets one more look, so one that
  // keeps a byte ready at every look cannot hold the read past it.
  ClipboardRead answer;
  char chunk[65536];
  while (!answer.complete) {
    const bool last = deadline.hasExpired();
    pollfd ready{pipe[0], POLLIN, 0};
    const int polled = ::poll(&ready, 1, int(deadline.remainingTime()));
    if (polled < 0 && errno == EINTR)
      continue;
    if (polled < 0)
      break;
    if (polled > 0) {
      const ssize_t n = ::read(pipe[0], chunk, size_t(std::min<qsizetype>(sizeof chunk, cap - answer.bytes.size())));
      if (n < 0 && errno == EINTR)
        continue;
      if (n < 0)
        break;
      answer.bytes.append(chunk, n);
      answer.complete = n == 0 || answer.bytes.size() >= cap;
    }
    if (!answer.complete && (polled == 0 || last)) {
      c.missed = c.selections;
      break;
    }
  }
  ::close(pipe[0]);
  return answer;
}

// The sources are destroyed on the wire but kept here until the round trip:
// a paste the compositor asked for before it saw that arrives first and is
// served, where a proxy destroyed at once would drop it unanswered.
void DataControlClipboard::withdraw(const QDeadlineTimer &deadline) {
  if (connection_ && !connection_->failed) {
    for (const auto &source : connection_->sources) {
      auto *proxy = reinterpret_cast<wl_proxy *>(source->proxy);
      wl_proxy_marshal_flags(proxy, ZWLR_DATA_CONTROL_SOURCE_V1_DESTROY, nullptr, wl_proxy_get_version(proxy), 0);
      source->withdrawn = true;
    }
    connection_->sync(deadline);
    for (const auto &source : connection_->sources)
      wl_proxy_destroy(reinterpret_cast<wl_proxy *>(source->proxy));
    connection_->sources.clear();
    connection_->current = nullptr;
  }
  connection_.reset();
}

} // namespace crel
