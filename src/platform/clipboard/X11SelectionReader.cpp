#include "X11SelectionReader.h"

#include "platform/desktop/X11Atom.h"

#include <xcb/xcbext.h>
#include <xcb/xfixes.h>

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <system_error>
#include <unordered_set>
#include <vector>

namespace crel {

namespace {

template <typename T> using Reply = std::unique_ptr<T, decltype(&std::free)>;
using Event = Reply<xcb_generic_event_t>;

template <typename T> Reply<T> owned(void *reply) { return Reply<T>(static_cast<T *>(reply), &std::free); }

// A TARGETS answer longer than this names far more targets than any owner has.
constexpr qsizetype targetsCap = 64 * 1024;
// The most atom names asked at once: each reply may hold 64 KiB.
constexpr size_t namesAtOnce = 256;
// A bare MIME type fits; longer names carry parameters no type read has.
constexpr int longestName = 255;
// The most events handled in one go, so that a read handed over under a
// flood of them waits for one batch at most.
constexpr int eventsAtOnce = 4096;
// Beyond its deadline, how long a read waits for the thread's turn.
constexpr std::chrono::milliseconds turnMargin{250};

// The milliseconds until `until`, rounded up; -1 for none.
int pollTimeout(std::chrono::steady_clock::time_point until) {
  if (until == std::chrono::steady_clock::time_point::max())
    return -1;
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - std::chrono::steady_clock::now()).count();
  return int(std::clamp<decltype(left)>(left, 0, std::numeric_limits<int>::max()));
}

// A charset's name is the same in any letter case.
bool namesPlainUtf8(QByteArrayView name) { return name.compare("text/plain;charset=utf-8", Qt::CaseInsensitive) == 0; }

} // namespace

X11SelectionReader::X11SelectionReader(DrainBounds bounds) : bounds_(bounds) {
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
    if (!xcb_connection_has_error(connection_))
      state_ = State::withoutFixes;
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
  utf8_ = internX11Atom(connection_, "UTF8_STRING");
  plainUtf8_ = internX11Atom(connection_, "text/plain;charset=utf-8");
  fixesEvent_ = uint8_t(fixes->first_event + XCB_XFIXES_SELECTION_NOTIFY);
  xcb_xfixes_select_selection_input(connection_, root_, clipboard_,
                                    XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER |
                                        XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_WINDOW_DESTROY |
                                        XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_CLIENT_CLOSE);
  xcb_flush(connection_);
  // Read between reads too, or the X server keeps every event for us. The
  // thread takes no signal: the process's handlers run elsewhere, and a
  // write to a server gone fails instead of raising SIGPIPE.
  wake_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  sigset_t all, before;
  sigfillset(&all);
  pthread_sigmask(SIG_SETMASK, &all, &before);
  try {
    if (wake_ >= 0)
      thread_ = std::thread([this] { run(); });
  } catch (const std::system_error &) {
  }
  pthread_sigmask(SIG_SETMASK, &before, nullptr);
  // Without its thread it reads nothing, and is made again for the next read.
  if (!thread_.joinable()) {
    xcb_disconnect(connection_);
    connection_ = nullptr;
    return;
  }
  state_ = State::reading;
}

X11SelectionReader::~X11SelectionReader() {
  if (thread_.joinable()) {
    {
      const std::lock_guard lock(mutex_);
      stop_ = true;
    }
    wake();
    thread_.join();
  }
  if (wake_ >= 0)
    ::close(wake_);
  if (connection_)
    xcb_disconnect(connection_);
}

X11SelectionReader::State X11SelectionReader::state() const { return state_; }

QStringList X11SelectionReader::types(const QDeadlineTimer &deadline) {
  auto types = std::make_shared<QStringList>();
  if (!onThread([this, types, deadline] { *types = offeredTypes(deadline); }, deadline))
    return {};
  return *types;
}

ClipboardRead X11SelectionReader::read(const QString &mimeType, const QDeadlineTimer &deadline, qsizetype cap) {
  auto read = std::make_shared<ClipboardRead>();
  if (!onThread([this, read, mimeType, deadline, cap] { *read = readOffered(mimeType, deadline, cap); }, deadline))
    return {};
  return *read;
}

void X11SelectionReader::finish(Clock::time_point start) {
  if (thread_.joinable()) {
    {
      const std::lock_guard lock(mutex_);
      ending_ = start;
    }
    wake();
  }
  // The thread lets the drain go by the end's bound; the margin is for its
  // turn.
  std::unique_lock lock(mutex_);
  changed_.wait_until(lock, start + bounds_.endWhole + turnMargin, [this] { return !draining_; });
}

// Runs `work` on the thread; false when it did not end by the deadline
// (which the work itself keeps) and a margin for the thread's turn.
bool X11SelectionReader::onThread(std::function<void()> work, const QDeadlineTimer &deadline) {
  if (!thread_.joinable())
    return false;
  const auto job = std::make_shared<Job>(Job{std::move(work)});
  std::unique_lock lock(mutex_);
  job_ = job;
  wake();
  const auto done = [&job] { return job->done; };
  if (deadline.isForever()) {
    changed_.wait(lock, done);
    return true;
  }
  return changed_.wait_until(lock, deadline.deadline<Clock>() + turnMargin, done);
}

void X11SelectionReader::wake() { eventfd_write(wake_, 1); }

// The thread: runs the reads handed to it, handles every event as it comes,
// and otherwise sleeps until the connection, a wake-up or the drain's bound.
void X11SelectionReader::run() {
  for (;;) {
    std::shared_ptr<Job> job;
    {
      const std::lock_guard lock(mutex_);
      if (stop_)
        return;
      job = std::exchange(job_, nullptr);
      endSeen_ = ending_;
    }
    if (job) {
      job->work();
      const std::lock_guard lock(mutex_);
      job->done = true;
      changed_.notify_all();
    }
    // What came in while a read waited on a reply is handled at once.
    if (!handleEvents())
      continue;
    pollfd ready[2]{{wake_, POLLIN, 0}, {xcb_get_file_descriptor(connection_), POLLIN, 0}};
    // A broken connection stays readable, and would wake the thread for ever.
    const bool watch = state_ == State::reading;
    if (::poll(ready, watch ? 2 : 1, pollTimeout(drain_ ? letGo() : Clock::time_point::max())) < 0 && errno != EINTR) {
      // Nothing is read from here on: the board makes the reader again.
      state_ = State::broken;
      endDrain();
      return;
    }
    eventfd_t woken = 0;
    eventfd_read(wake_, &woken);
  }
}

// Whether the connection still reads; the state says when it broke.
bool X11SelectionReader::connected() {
  if (state_ == State::reading && xcb_connection_has_error(connection_))
    state_ = State::broken;
  return state_ == State::reading;
}

QStringList X11SelectionReader::offeredTypes(const QDeadlineTimer &deadline) {
  QStringList types;
  if (const Offer *offered = offer(deadline))
    for (const auto &target : offered->targets) {
      const QByteArray &name = target.first;
      const QString type = name == "UTF8_STRING" || name == "STRING" || name == "TEXT" ? QStringLiteral("text/plain")
                           : name.contains('/')                                        ? QString::fromLatin1(name)
                                                                                       : QString();
      if (!type.isEmpty() && !types.contains(type))
        types.append(type);
    }
  return types;
}

ClipboardRead X11SelectionReader::readOffered(const QString &mimeType, const QDeadlineTimer &deadline, qsizetype cap) {
  const Offer *offered = offer(deadline);
  if (!offered)
    return {};
  // Text by the names X11 programs give it, as Qt asks for it.
  const bool text = mimeType == QLatin1String("text/plain");
  const QList<QByteArray> names =
      text ? QList<QByteArray>{"UTF8_STRING", "text/plain;charset=utf-8", "text/plain", "STRING", "TEXT"}
           : QList<QByteArray>{mimeType.toLatin1()};
  for (const QByteArray &name : names) {
    const auto target = std::find_if(offered->targets.cbegin(), offered->targets.cend(), [&name](const auto &offered) {
      return offered.first == name || (namesPlainUtf8(name) && namesPlainUtf8(offered.first));
    });
    if (target == offered->targets.cend())
      continue;
    // While its owner finishes an answer cut at the cap, the part kept is
    // the answer: the owner answers nobody else meanwhile.
    const Answer answer = drain_ && drain_->selection == offered->selection && drain_->target == target->second
                              ? drain_->answer
                              : convert(target->second, offered->selection, deadline, cap);
    if (!answer.inTime) {
      missed_ = offered->selection;
      return {};
    }
    if (!text)
      return {answer.bytes, true};
    // The answer's type tells its text, whatever the name asked for: TEXT
    // may come as COMPOUND_TEXT, which is not read, and another name is
    // tried. An answer typed as the very name asked is text by that name.
    const QByteArray &asked = target->first;
    const bool typedAsAsked = answer.type == target->second;
    const auto latin1 = [&] { return ClipboardRead{QString::fromLatin1(answer.bytes).toUtf8().left(cap), true}; };
    if (answer.type == utf8_ || answer.type == plainUtf8_ || (typedAsAsked && namesPlainUtf8(asked)))
      return {answer.bytes, true};
    if (answer.type == XCB_ATOM_STRING)
      return latin1();
    // Owners offering only these names answer in their own encoding: UTF-8
    // where it is valid, up to a character the cap cut short.
    if (typedAsAsked && (asked == "text/plain" || asked == "TEXT"))
      return (answer.bytes.size() >= cap ? wholeCharacters(answer.bytes) : answer.bytes).isValidUtf8()
                 ? ClipboardRead{answer.bytes, true}
                 : latin1();
  }
  return {{}, true};
}

// Who holds the selection now; null when nobody does.
std::optional<X11SelectionReader::Selection> X11SelectionReader::current(const QDeadlineTimer &deadline) {
  const auto owner = owned<xcb_get_selection_owner_reply_t>(
      replyBy(xcb_get_selection_owner(connection_, clipboard_).sequence, deadline));
  if (!owner)
    return std::nullopt;
  // The server sends an event before a later reply: what is queued now
  // tells every change until the answer.
  while (const Event event{xcb_poll_for_queued_event(connection_), &std::free})
    handle(event.get());
  const Selection now = latest_.value_or(Selection{owner->owner, 0});
  return now.owner == XCB_WINDOW_NONE ? std::nullopt : std::optional(now);
}

// The targets of the selection now; null when it has none to read, its owner
// missed a deadline before, or it missed this one.
const X11SelectionReader::Offer *X11SelectionReader::offer(const QDeadlineTimer &deadline) {
  if (!connected())
    return nullptr;
  const std::optional<Selection> now = current(deadline);
  if (!now || now == missed_)
    return nullptr;
  if (offer_ && offer_->selection == *now)
    return &*offer_;
  const Answer answer = convert(targets_, *now, deadline, targetsCap);
  if (!answer.inTime) {
    missed_ = now;
    return nullptr;
  }
  // An owner may list anything, as often as it likes: each atom's name is
  // asked once, a batch at a time, and each reply freed as it comes.
  std::vector<xcb_atom_t> atoms;
  std::unordered_set<xcb_atom_t> seen;
  for (qsizetype at = 0; at + qsizetype(sizeof(xcb_atom_t)) <= answer.bytes.size(); at += sizeof(xcb_atom_t)) {
    xcb_atom_t atom = XCB_ATOM_NONE;
    std::memcpy(&atom, answer.bytes.constData() + at, sizeof atom);
    if (seen.insert(atom).second)
      atoms.push_back(atom);
  }
  Offer offered{*now, {}};
  std::deque<std::pair<xcb_atom_t, unsigned int>> asked;
  for (size_t next = 0; next < atoms.size() || !asked.empty();) {
    for (; next < atoms.size() && asked.size() < namesAtOnce && !deadline.hasExpired(); ++next)
      asked.emplace_back(atoms[next], xcb_get_atom_name(connection_, atoms[next]).sequence);
    if (asked.empty())
      break;
    const auto [atom, sequence] = asked.front();
    asked.pop_front();
    const auto name = owned<xcb_get_atom_name_reply_t>(replyBy(sequence, deadline));
    if (name && xcb_get_atom_name_name_length(name.get()) <= longestName)
      offered.targets.append(
          {QByteArray(xcb_get_atom_name_name(name.get()), xcb_get_atom_name_name_length(name.get())), atom});
  }
  if (deadline.hasExpired())
    return nullptr;
  offer_ = std::move(offered);
  return &*offer_;
}

// What the owner of `selection` gives for `target`, at most `cap` bytes;
// not in time when the deadline passed first or the owner went away.
X11SelectionReader::Answer X11SelectionReader::convert(xcb_atom_t target, const Selection &selection,
                                                       const QDeadlineTimer &deadline, qsizetype cap) {
  // A window of its own for each request, watched before the request goes.
  Transfer transfer{.window = xcb_generate_id(connection_)};
  const uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
  xcb_create_window(connection_, XCB_COPY_FROM_PARENT, transfer.window, root_, 0, 0, 1, 1, 0,
                    XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &events);
  xcb_convert_selection(connection_, transfer.window, clipboard_, target, property_, XCB_CURRENT_TIME);
  transfer_ = &transfer;
  const Answer answer = receive(transfer, deadline, cap);
  transfer_ = nullptr;
  if (transfer.cut && connected()) {
    // An owner may serve one transfer at a time and never notice a window
    // gone: it is let finish this one, or it would answer nobody again.
    endDrain();
    const Clock::time_point now = Clock::now();
    drain_ = Drain{selection, target, answer, transfer.window, now, now, {}};
    const std::lock_guard lock(mutex_);
    draining_ = true;
  } else {
    // Gone, the window takes no late write: the owner's next one fails, and
    // nothing for it reaches a later read.
    xcb_destroy_window(connection_, transfer.window);
  }
  xcb_flush(connection_);
  return answer;
}

// The answer the owner writes into `transfer`'s window.
X11SelectionReader::Answer X11SelectionReader::receive(Transfer &transfer, const QDeadlineTimer &deadline,
                                                       qsizetype cap) {
  Answer answer;
  // False once the deadline passed or the owner went away first.
  const auto await = [&](const bool &flag) {
    return waitFor(deadline, [&] { return flag || transfer.ownerGone; }) && !transfer.ownerGone;
  };
  const auto take = [&](qsizetype most) {
    return owned<xcb_get_property_reply_t>(
        replyBy(xcb_get_property(connection_, false, transfer.window, property_, XCB_GET_PROPERTY_TYPE_ANY, 0,
                                 uint32_t((most + 3) / 4))
                    .sequence,
                deadline));
  };
  const auto append = [&](const xcb_get_property_reply_t *property) {
    const qsizetype length = xcb_get_property_value_length(property);
    answer.type = property->type;
    answer.bytes.append(static_cast<const char *>(xcb_get_property_value(property)),
                        std::min(length, cap - answer.bytes.size()));
    return length;
  };
  if (!await(transfer.answered))
    return answer;
  if (transfer.refused) {
    answer.inTime = true;
    return answer;
  }
  auto property = take(cap);
  if (!property)
    return answer;
  if (property->type != incr_) {
    append(property.get());
    answer.inTime = true;
    return answer;
  }
  // Deleting the property asks for each chunk in turn (the INCR property's
  // own write was told before the owner's answer).
  transfer.written = false;
  xcb_delete_property(connection_, transfer.window, property_);
  for (;;) {
    if (!await(transfer.written))
      return answer;
    transfer.written = false;
    property = take(cap - answer.bytes.size());
    if (!property)
      return answer;
    // An empty chunk ends the answer.
    if (append(property.get()) == 0) {
      answer.inTime = true;
      return answer;
    }
    xcb_delete_property(connection_, transfer.window, property_);
    if (answer.bytes.size() >= cap) {
      answer.inTime = transfer.cut = true;
      return answer;
    }
  }
}

// Waits until `done` holds, handling the events as they come; false once the
// deadline passed or the connection broke first. `done` is asked before
// any backlog of events is handled.
bool X11SelectionReader::waitFor(const QDeadlineTimer &deadline, const std::function<bool()> &done) {
  for (;;) {
    if (done())
      return true;
    if (!connected() || deadline.hasExpired())
      return false;
    if (!handleEvents())
      continue;
    if (done())
      return true;
    pollfd readable{xcb_get_file_descriptor(connection_), POLLIN, 0};
    ::poll(&readable, 1, int(std::min<qint64>(deadline.remainingTime(), std::numeric_limits<int>::max())));
  }
}

// The reply to request `sequence`, to be freed; null when none came by the
// deadline.
void *X11SelectionReader::replyBy(unsigned int sequence, const QDeadlineTimer &deadline) {
  void *reply = nullptr;
  xcb_generic_error_t *error = nullptr;
  if (!waitFor(deadline, [&] { return xcb_poll_for_reply(connection_, sequence, &reply, &error) != 0; }))
    xcb_discard_reply(connection_, sequence);
  std::free(error);
  return reply;
}

// Handles what came on the connection, at most eventsAtOnce events; true
// when nothing was left. A drain past its bound is let go.
bool X11SelectionReader::handleEvents() {
  if (!connected()) {
    endDrain();
    return true;
  }
  bool idle = false;
  for (int left = eventsAtOnce; left > 0 && !idle; --left) {
    Event event{xcb_poll_for_event(connection_), &std::free};
    if (!event) {
      // Taking a reply may have read events in with it.
      const bool took = takeChunkSizes();
      event.reset(xcb_poll_for_queued_event(connection_));
      idle = !event && !took;
    }
    if (event)
      handle(event.get());
  }
  if (drain_ && Clock::now() >= letGo())
    endDrain();
  xcb_flush(connection_);
  return idle;
}

// Notes what an event tells: the selection's latest taking (only the latest
// is kept), and the progress of a read's request and of a drain.
void X11SelectionReader::handle(const xcb_generic_event_t *event) {
  const uint8_t type = event->response_type & 0x7f;
  if (type == fixesEvent_) {
    const auto *notify = reinterpret_cast<const xcb_xfixes_selection_notify_event_t *>(event);
    if (notify->selection != clipboard_)
      return;
    latest_ = Selection{notify->owner, ++changes_};
    // The drained answer's owner went away, or no longer holds the selection.
    endDrain();
    if (transfer_ && notify->subtype != XCB_XFIXES_SELECTION_EVENT_SET_SELECTION_OWNER)
      transfer_->ownerGone = true;
  } else if (type == XCB_SELECTION_NOTIFY) {
    const auto *notify = reinterpret_cast<const xcb_selection_notify_event_t *>(event);
    if (transfer_ && notify->requestor == transfer_->window) {
      transfer_->answered = true;
      transfer_->refused = notify->property == XCB_ATOM_NONE;
    }
  } else if (type == XCB_PROPERTY_NOTIFY) {
    const auto *change = reinterpret_cast<const xcb_property_notify_event_t *>(event);
    if (change->atom != property_ || change->state != XCB_PROPERTY_NEW_VALUE)
      return;
    if (transfer_ && change->window == transfer_->window) {
      transfer_->written = true;
    } else if (drain_ && change->window == drain_->window) {
      // The chunk's size alone tells the owner's empty one, the end; the
      // delete asks for the next.
      drain_->lastChunk = Clock::now();
      drain_->sizes.push_back(
          xcb_get_property(connection_, false, drain_->window, property_, XCB_GET_PROPERTY_TYPE_ANY, 0, 0).sequence);
      xcb_delete_property(connection_, drain_->window, property_);
    }
  }
}

// Takes the sizes of drained chunks that have come; true when any had.
bool X11SelectionReader::takeChunkSizes() {
  bool took = false;
  while (drain_ && !drain_->sizes.empty()) {
    void *reply = nullptr;
    xcb_generic_error_t *error = nullptr;
    if (!xcb_poll_for_reply(connection_, drain_->sizes.front(), &reply, &error))
      break;
    drain_->sizes.pop_front();
    took = true;
    std::free(error);
    const auto size = owned<xcb_get_property_reply_t>(reply);
    if (!size || size->bytes_after == 0)
      endDrain();
  }
  return took;
}

// When the drain is let go unless a chunk comes first: after the owner sent
// nothing for a while, or at its bound in all; at the end of the run sooner.
X11SelectionReader::Clock::time_point X11SelectionReader::letGo() const {
  Clock::time_point at = std::min(drain_->since + bounds_.whole, drain_->lastChunk + bounds_.stall);
  if (endSeen_)
    at = std::min({at, *endSeen_ + bounds_.endWhole, std::max(drain_->lastChunk, *endSeen_) + bounds_.endStall});
  return at;
}

void X11SelectionReader::endDrain() {
  if (!drain_)
    return;
  for (const unsigned int size : drain_->sizes)
    xcb_discard_reply(connection_, size);
  xcb_destroy_window(connection_, drain_->window);
  drain_.reset();
  const std::lock_guard lock(mutex_);
  draining_ = false;
  changed_.notify_all();
}

} // namespace crel
