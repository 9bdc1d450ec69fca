#include "platform/clipboard/Pasteboard.h"
#include "platform/desktop/X11Atom.h"

#include <QClipboard>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QTest>

#include <gtest/gtest.h>

#include <xcb/xcb.h>

#include <poll.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

using namespace crel;

namespace {

using Clock = std::chrono::steady_clock;

// Another program owning the X11 CLIPBOARD, on a connection of the test's
// own and served on a thread of its own while the test's thread reads. It
// offers its text by one name.
class X11Owner {
public:
  enum class Answer {
    never,
    whole,
    // In chunks, one requestor at a time, answering nobody else until that
    // one took the last (as xclip does); the requestor's window is not
    // watched.
    incremental,
    // In chunks of a few bytes, each a while after the last was taken.
    trickling,
    // Ends its connection once the first chunk was taken.
    diesMidway,
    // Closes the first requestor's connection (KillClient on its window),
    // then answers whole.
    killsFirstRequestor,
  };
  static constexpr qsizetype chunk = 10'000;

  X11Owner(Answer answer, QByteArray text, QByteArray target = "UTF8_STRING", QByteArray type = {})
      : answer_(answer), text_(std::move(text)), connection_(xcb_connect(nullptr, nullptr)) {
    targets_ = internX11Atom(connection_, "TARGETS");
    target_ = internX11Atom(connection_, target);
    type_ = type.isEmpty() ? target_ : internX11Atom(connection_, type);
    incr_ = internX11Atom(connection_, "INCR");
    clipboard_ = internX11Atom(connection_, "CLIPBOARD");
    for (xcb_window_t &window : windows_) {
      window = xcb_generate_id(connection_);
      xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window,
                        xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root, 0, 0, 1, 1, 0,
                        XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
    }
    take(windows_[0]);
    thread_ = std::thread([this] { serve(); });
  }
  ~X11Owner() {
    stop_ = true;
    thread_.join();
    if (!dead_)
      xcb_disconnect(connection_);
  }

  // Transfers in chunks whose last chunk was taken.
  int transfersEnded() const { return ended_; }
  // The X clients whose windows asked, in order.
  std::vector<uint32_t> requestingClients() const {
    const std::lock_guard lock(mutex_);
    return clients_;
  }
  // Takes the clipboard `changes` times, by its two windows in turn.
  void flood(int changes) {
    for (int i = 0; i < changes; ++i)
      xcb_set_selection_owner(connection_, windows_[i % 2], clipboard_, XCB_CURRENT_TIME);
    take(windows_[0]);
  }
  // Takes it again by its first window, with `text`.
  void copy(const QByteArray &text) {
    {
      const std::lock_guard lock(mutex_);
      text_ = text;
    }
    take(windows_[0]);
  }

private:
  void take(xcb_window_t window) {
    xcb_set_selection_owner(connection_, window, clipboard_, XCB_CURRENT_TIME);
    std::free(xcb_get_selection_owner_reply(connection_, xcb_get_selection_owner(connection_, clipboard_), nullptr));
  }

  void serve() {
    while (!stop_ && !dead_) {
      pollfd readable{xcb_get_file_descriptor(connection_), POLLIN, 0};
      ::poll(&readable, 1, 20);
      while (!dying_) {
        xcb_generic_event_t *event = xcb_poll_for_event(connection_);
        if (!event)
          break;
        handle(event);
        std::free(event);
      }
      if (due_ && Clock::now() >= *due_)
        next(4);
      if (dying_) {
        xcb_disconnect(connection_);
        dead_ = true;
      } else {
        xcb_flush(connection_);
      }
    }
  }

  // Writes the next chunk of at most `most` bytes; an empty one ends the
  // transfer.
  void next(qsizetype most) {
    const std::lock_guard lock(mutex_);
    const QByteArray part = text_.mid(sent_, most);
    sent_ += part.size();
    xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, requestor_, property_, type_, 8, uint32_t(part.size()),
                        part.constData());
    due_.reset();
    if (part.isEmpty()) {
      requestor_ = XCB_WINDOW_NONE;
      ++ended_;
    }
  }

  void handle(const xcb_generic_event_t *event) {
    if ((event->response_type & 0x7f) == XCB_PROPERTY_NOTIFY) {
      const auto *change = reinterpret_cast<const xcb_property_notify_event_t *>(event);
      if (change->state != XCB_PROPERTY_DELETE || change->window != requestor_ || change->atom != property_)
        return;
      if (answer_ == Answer::trickling)
        due_ = Clock::now() + std::chrono::milliseconds(250);
      else
        next(chunk);
      dying_ = answer_ == Answer::diesMidway;
      return;
    }
    if ((event->response_type & 0x7f) != XCB_SELECTION_REQUEST || answer_ == Answer::never ||
        requestor_ != XCB_WINDOW_NONE)
      return;
    const auto *request = reinterpret_cast<const xcb_selection_request_event_t *>(event);
    const std::lock_guard lock(mutex_);
    clients_.push_back(request->requestor & ~xcb_get_setup(connection_)->resource_id_mask);
    if (answer_ == Answer::killsFirstRequestor && clients_.size() == 1) {
      xcb_kill_client(connection_, request->requestor);
      return;
    }
    const auto put = [this, request](xcb_atom_t type, uint8_t format, qsizetype length, const void *data) {
      xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, request->requestor, request->property, type, format,
                          uint32_t(length), data);
    };
    alignas(4) char sent[32] = {};
    auto *notify = reinterpret_cast<xcb_selection_notify_event_t *>(sent);
    *notify = {XCB_SELECTION_NOTIFY, 0, 0, request->time, request->requestor, request->selection, request->target,
               request->property};
    const bool whole = answer_ == Answer::whole || answer_ == Answer::killsFirstRequestor;
    if (request->target == targets_) {
      const xcb_atom_t offered[] = {targets_, target_};
      put(XCB_ATOM_ATOM, 32, 2, offered);
    } else if (request->target == target_ && whole) {
      put(type_, 8, text_.size(), text_.constData());
    } else if (request->target == target_) {
      const uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE, size = uint32_t(text_.size());
      xcb_change_window_attributes(connection_, request->requestor, XCB_CW_EVENT_MASK, &events);
      put(incr_, 32, 1, &size);
      requestor_ = request->requestor;
      property_ = request->property;
      sent_ = 0;
    } else {
      notify->property = XCB_ATOM_NONE;
    }
    xcb_send_event(connection_, false, request->requestor, XCB_EVENT_MASK_NO_EVENT, sent);
  }

  const Answer answer_;
  QByteArray text_;
  xcb_connection_t *const connection_;
  xcb_atom_t targets_, target_, type_, incr_, clipboard_;
  xcb_window_t windows_[2] = {};
  xcb_window_t requestor_ = XCB_WINDOW_NONE;
  xcb_atom_t property_ = XCB_ATOM_NONE;
  qsizetype sent_ = 0;
  std::optional<Clock::time_point> due_;
  std::atomic<int> ended_ = 0;
  std::vector<uint32_t> clients_;
  mutable std::mutex mutex_;
  bool dying_ = false, dead_ = false;
  std::atomic<bool> stop_ = false;
  std::thread thread_;
};

// The process's resident memory in KiB: now, or at its peak since the peak
// was last reset.
qint64 residentKiB(const char *field) {
  QFile status("/proc/self/status");
  if (!status.open(QIODevice::ReadOnly))
    return 0;
  for (const QByteArray &line : status.readAll().split('\n'))
    if (line.startsWith(field))
      return line.mid(qstrlen(field)).trimmed().split(' ').value(0).toLongLong();
  return 0;
}

// AddressSanitizer's quarantine keeps freed blocks resident.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool residentMemoryTells = false;
#else
constexpr bool residentMemoryTells = true;
#endif

void resetPeakMemory() {
  QFile refs("/proc/self/clear_refs");
  if (refs.open(QIODevice::WriteOnly))
    refs.write("5");
}

} // namespace

// Under an X server: a read of another program's clipboard ends by one
// deadline, keeps at most the cap and pastes nothing it did not get whole.
// An owner that let a read miss its deadline is not waited for again; one
// whose answer was cut at the cap is let finish it, and read at once from
// what was kept until then. Text comes by any of its X11 names, without a
// C string's NUL. The reader survives an owner that closes its connection,
// and an owner that takes the clipboard over and over. The rows run in
// order on one board.
TEST(Pasteboard, OnX11AReadOfAnotherProgramsClipboardIsBoundInTimeAndSize) {
  if (QGuiApplication::platformName() != "xcb")
    GTEST_SKIP() << "needs an X server";
  using Answer = X11Owner::Answer;
  constexpr int answerMs = 1000;
  constexpr qsizetype cap = 64 * 1024;
  struct Offer {
    QByteArray text, target = "UTF8_STRING", type = {};
  };
  struct Row {
    const char *name;
    Answer answer;
    // Each owner takes the clipboard in turn, and is read twice.
    QList<Offer> owners;
    QByteArray first, second;
    // The owner's takings between the two reads, the last with `second`.
    int flood = 0;
    int withinMs = answerMs * 7 / 4;
  };
  const QByteArray big(16 * cap, 'a'), fox = "The quick brown fox jumps over the lazy dog";
  const Row rows[] = {
      {"owner that never answers", Answer::never, {{"unread"}}, {}, {}},
      {"incremental answer beyond the cap", Answer::incremental, {{big}}, big.left(cap), big.left(cap)},
      {"text only as UTF8_STRING", Answer::whole, {{"h\xc3\xa9llo"}}, "h\xc3\xa9llo", "h\xc3\xa9llo"},
      {"owner that trickles", Answer::trickling, {{fox}}, {}, {}},
      {"owner that dies mid-way", Answer::diesMidway, {{big}}, {}, {}, 0, answerMs / 2},
      {"text by its other names",
       Answer::whole,
       {{QByteArray("abc\xe9\0", 5), "STRING"},
        {QByteArray("abc\xc3\xa9\0", 6), "UTF8_STRING"},
        {"abc\xe9", "TEXT", "STRING"}},
       "abc\xc3\xa9",
       "abc\xc3\xa9"},
      {"owner that takes the clipboard over and over",
       Answer::whole,
       {{"before"}},
       "before",
       "after",
       200'000,
       answerMs / 2},
      {"owner that closes the reader's connection", Answer::killsFirstRequestor, {{"after"}}, "after", "after"},
  };
  ClipboardPasteboard board(QProcessEnvironment(), {.answerMs = answerMs, .readCap = cap});
  for (const Row &row : rows) {
    SCOPED_TRACE(row.name);
    for (const Offer &offer : row.owners) {
      SCOPED_TRACE(offer.target.constData());
      X11Owner owner(row.answer, offer.text, offer.target, offer.type);
      ASSERT_TRUE(QTest::qWaitFor([] { return !QGuiApplication::clipboard()->ownsClipboard(); }));
      QElapsedTimer elapsed;
      elapsed.start();
      EXPECT_EQ(board.read("text/plain"), row.first);
      const qint64 before = residentKiB("VmRSS:");
      if (row.flood) {
        // Taken over and over while Crel waits in its event loop, which
        // takes its turns meanwhile (Qt's own connection is told of every
        // change too, and queues what its turns did not take).
        resetPeakMemory();
        constexpr int perTurn = 1000;
        for (int changes = 0; changes < row.flood; changes += perTurn) {
          owner.flood(perTurn);
          QCoreApplication::processEvents();
        }
        owner.copy(row.second);
        elapsed.start();
      }
      EXPECT_EQ(board.read("text/plain"), row.second);
      EXPECT_LT(elapsed.elapsed(), row.withinMs);
      if (row.flood && residentMemoryTells) {
        EXPECT_LT(residentKiB("VmHWM:") - before, 5 * 1024);
      }
      if (row.answer == Answer::incremental) {
        // The owner was let finish, and serves the next requestor whole.
        EXPECT_TRUE(QTest::qWaitFor([&] { return owner.transfersEnded() == 1; }, 5000));
        ClipboardPasteboard other(QProcessEnvironment(), {.answerMs = 5000, .readCap = 2 * big.size()});
        EXPECT_EQ(other.read("text/plain"), big);
      }
      if (row.answer == Answer::killsFirstRequestor) {
        // Read again by a reader of its own (the server may give it the
        // closed one's client id), never through Qt.
        const std::vector<uint32_t> clients = owner.requestingClients();
        const auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
        const uint32_t qt = xcb_get_setup(x11->connection())->resource_id_base;
        EXPECT_GE(clients.size(), 2u);
        EXPECT_EQ(std::count(clients.cbegin(), clients.cend(), qt), 0);
      }
    }
  }
}
