#include "X11SelectionReader.h"

#include "platform/desktop/X11Atom.h"

#include <xcb/xcbext.h>
#include <xcb/xfixes.h>

#include <poll.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

namespace crel {

namespace {

template <typename T> using Reply = std::unique_ptr<T, decltype(&std::free)>;
using Event = Reply<xcb_generic_event_t>;

// A TARGETS answer longer than this names far more targets than any owner has.
constexpr qsizetype targetsCap = 64 * 1024;

// Waits on `connection` until `done` holds; false once the deadline passed
// or the connection broke first.
template <typename Done> bool waitOn(xcb_connection_t *connection, const QDeadlineTimer &deadline, Done done) {
  xcb_flush(connection);
  while (!done()) {
    if (xcb_connection_has_error(connection) || deadline.hasExpired())
      return false;
    pollfd readable{xcb_get_file_descriptor(connection), POLLIN, 0};
    ::poll(&readable, 1, int(std::min<qint64>(deadline.remainingTime(), std::numeric_limits<int>::max())));
  }
  return true;
}

// The reply to request `sequence`; null when none came by the deadline.
template <typename T>
Reply<T> replyBy(xcb_connection_t *connection, unsigned int sequence, const QDeadlineTimer &deadline) {
  void *reply = nullptr;
  xcb_generic_error_t *error = nullptr;
  if (!waitOn(connection, deadline, [&] { return xcb_poll_for_reply(connection, sequence, &reply, &error) != 0; }))
    xcb_discard_reply(connection, sequence);
  std::free(error);
  return Reply<T>(static_cast<T *>(reply), &std::free);
}

} // namespace

X11SelectionReader::X11SelectionReader() {
  int screen = 0;
  connection_ = xcb_connect(nullptr, &screen);
  const xcb_query_extension_reply_t *fixes = xcb_get_extension_data(connection_, &xcb_xfixes_id);
  // XFixes sends events only to a client that said which version it speaks.
  const Reply<xcb_xfixes_query_version_reply_t> version(
      fixes && fixes->present
          ? xcb_xfixes_query_version_reply(
                connection_, xcb_xfixes_query_version(connection_, XCB_XFIXES_MAJOR_VERSION, XCB_XFIXES_MINOR_VERSION),
                nullptr)
          : nullptr,
      &std::free);
  if (!version) {
    xcb_disconnect(connection_);
    connection_ = nullptr;
    return;
  }
  xcb_screen_iterator_t roots = xcb_setup_roots_iterator(xcb_get_setup(connection_));
  for (int i = 0; i < screen && roots.rem > 1; ++i)
    xcb_screen_next(&roots);
  root_ = roots.data->root;
  clipboard_ = internX11Atom(connection_, "CLIPBOARD");
  targets_ = internX11Atom(connection_, "TARGETS");
  incr_ = internX11Atom(connection_, "INCR");
  property_ = internX11Atom(connection_, "CREL_SELECTION");
  fixesEvent_ = uint8_t(fixes->first_event + XCB_XFIXES_SELECTION_NOTIFY);
  xcb_xfixes_select_selection_input(connection_, root_, clipboard_,
                                    XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER |
                                        XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_WINDOW_DESTROY |
                                        XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_CLIENT_CLOSE);
  xcb_flush(connection_);
}

X11SelectionReader::~X11SelectionReader() {
  if (connection_)
    xcb_disconnect(connection_);
}

bool X11SelectionReader::connected() const { return connection_ && !xcb_connection_has_error(connection_); }

QStringList X11SelectionReader::types(const QDeadlineTimer &deadline) {
  QStringList types;
  if (const Offer *offered = offer(deadline))
    for (const auto &target : offered->targets) {
      const QByteArray &name = target.first;
      const QString type = name == "UTF8_STRING" || name == "STRING" ? QStringLiteral("text/plain")
                           : name.contains('/')                      ? QString::fromLatin1(name)
                                                                     : QString();
      if (!type.isEmpty() && !types.contains(type))
        types.append(type);
    }
  return types;
}

ClipboardRead X11SelectionReader::read(const QString &mimeType, const QDeadlineTimer &deadline, qsizetype cap) {
  const Offer *offered = offer(deadline);
  if (!offered)
    return {};
  // Text by the names X11 programs give it, as Qt asks for it; STRING is
  // Latin-1.
  const QList<QByteArray> names =
      mimeType == QLatin1String("text/plain")
          ? QList<QByteArray>{"UTF8_STRING", "text/plain;charset=utf-8", "text/plain", "STRING"}
          : QList<QByteArray>{mimeType.toLatin1()};
  for (const QByteArray &name : names) {
    const auto target = std::find_if(offered->targets.cbegin(), offered->targets.cend(),
                                     [&name](const auto &offered) { return offered.first == name; });
    if (target == offered->targets.cend())
      continue;
    const Answer answer = convert(target->second, deadline, cap);
    if (!answer.inTime) {
      missed_ = offered->selection;
      return {};
    }
    return {name == "STRING" ? QString::fromLatin1(answer.bytes).toUtf8().left(cap) : answer.bytes, true};
  }
  return {{}, true};
}

// Who holds the selection now; null when nobody does.
std::optional<X11SelectionReader::Selection> X11SelectionReader::current(const QDeadlineTimer &deadline) {
  const auto owner = replyBy<xcb_get_selection_owner_reply_t>(
      connection_, xcb_get_selection_owner(connection_, clipboard_).sequence, deadline);
  if (!owner)
    return std::nullopt;
  // The server sends an event before a later reply: what is queued now
  // tells every change until the answer (and what earlier reads left).
  while (const Event event{xcb_poll_for_queued_event(connection_), &std::free})
    note(event.get());
  const Selection now = latest_.value_or(Selection{owner->owner, 0});
  return now.owner == XCB_WINDOW_NONE ? std::nullopt : std::optional(now);
}

// The targets of the selection now; null when it has none to read, its owner
// missed a deadline before, or it missed this one.
const X11SelectionReader::Offer *X11SelectionReader::offer(const QDeadlineTimer &deadline) {
  const std::optional<Selection> now = current(deadline);
  if (!now || now == missed_)
    return nullptr;
  if (offer_ && offer_->selection == *now)
    return &*offer_;
  const Answer answer = convert(targets_, deadline, targetsCap);
  if (!answer.inTime) {
    missed_ = now;
    return nullptr;
  }
  std::vector<xcb_atom_t> atoms(size_t(answer.bytes.size()) / sizeof(xcb_atom_t));
  if (!atoms.empty())
    std::memcpy(atoms.data(), answer.bytes.constData(), atoms.size() * sizeof(xcb_atom_t));
  std::vector<xcb_get_atom_name_cookie_t> asked;
  for (const xcb_atom_t atom : atoms)
    asked.push_back(xcb_get_atom_name(connection_, atom));
  Offer offered{*now, {}};
  for (size_t i = 0; i < atoms.size(); ++i)
    if (const auto name = replyBy<xcb_get_atom_name_reply_t>(connection_, asked[i].sequence, deadline))
      offered.targets.append(
          {QByteArray(xcb_get_atom_name_name(name.get()), xcb_get_atom_name_name_length(name.get())), atoms[i]});
  if (deadline.hasExpired())
    return nullptr;
  offer_ = std::move(offered);
  return &*offer_;
}

// What the owner gives for `target`, at most `cap` bytes; not in time when
// the deadline passed first.
X11SelectionReader::Answer X11SelectionReader::convert(xcb_atom_t target, const QDeadlineTimer &deadline,
                                                       qsizetype cap) {
  // A window of its own for each request, watched before the request goes.
  const xcb_window_t window = xcb_generate_id(connection_);
  const uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
  xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window, root_, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                    XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &events);
  xcb_convert_selection(connection_, window, clipboard_, target, property_, XCB_CURRENT_TIME);
  const auto take = [&](qsizetype most) {
    const xcb_get_property_cookie_t asked =
        xcb_get_property(connection_, false, window, property_, XCB_GET_PROPERTY_TYPE_ANY, 0, uint32_t((most + 3) / 4));
    return replyBy<xcb_get_property_reply_t>(connection_, asked.sequence, deadline);
  };
  const auto append = [&cap](QByteArray &bytes, const xcb_get_property_reply_t *property) {
    const qsizetype length = xcb_get_property_value_length(property);
    bytes.append(static_cast<const char *>(xcb_get_property_value(property)), std::min(length, cap - bytes.size()));
    return length;
  };
  Answer answer;
  bool incremental = false;
  while (!answer.inTime) {
    const Event event{nextEvent(deadline), &std::free};
    if (!event)
      break;
    const uint8_t type = event->response_type & 0x7f;
    if (type == XCB_SELECTION_NOTIFY && !incremental) {
      const auto *notify = reinterpret_cast<const xcb_selection_notify_event_t *>(event.get());
      if (notify->requestor != window)
        continue;
      if (notify->property == XCB_ATOM_NONE) { // refused
        answer.inTime = true;
        continue;
      }
      const auto property = take(cap);
      if (!property)
        break;
      if (property->type == incr_) {
        // Deleting the property asks for each chunk in turn.
        incremental = true;
        xcb_delete_property(connection_, window, property_);
        continue;
      }
      append(answer.bytes, property.get());
      answer.inTime = true;
    } else if (type == XCB_PROPERTY_NOTIFY && incremental) {
      const auto *change = reinterpret_cast<const xcb_property_notify_event_t *>(event.get());
      if (change->window != window || change->atom != property_ || change->state != XCB_PROPERTY_NEW_VALUE)
        continue;
      const auto property = take(cap - answer.bytes.size());
      if (!property)
        break;
      answer.inTime = append(answer.bytes, property.get()) == 0 || answer.bytes.size() >= cap;
      if (!answer.inTime)
        xcb_delete_property(connection_, window, property_);
    }
  }
  // Gone, the window takes no late write: the owner's next one fails, and
  // nothing for it reaches a later read.
  xcb_destroy_window(connection_, window);
  xcb_flush(connection_);
  return answer;
}

// The next event by the deadline, null when none came; what it tells of the
// selection is noted on the way.
xcb_generic_event_t *X11SelectionReader::nextEvent(const QDeadlineTimer &deadline) {
  xcb_generic_event_t *event = nullptr;
  waitOn(connection_, deadline, [&] { return (event = xcb_poll_for_event(connection_)) != nullptr; });
  if (event)
    note(event);
  return event;
}

void X11SelectionReader::note(const xcb_generic_event_t *event) {
  if ((event->response_type & 0x7f) != fixesEvent_)
    return;
  const auto *notify = reinterpret_cast<const xcb_xfixes_selection_notify_event_t *>(event);
  if (notify->selection == clipboard_)
    latest_ = Selection{notify->owner, notify->selection_timestamp};
}

} // namespace crel
