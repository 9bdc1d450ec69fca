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
#include <sys/socket.h>

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
// offers its text by one name, and may list another atom beside it as often
// as a 64 KiB TARGETS answer holds.
class X11Owner {
public:
  enum class Answer {
    never,
    whole,
    // In chunks, one requestor at a time, answering nobody else until that
    // one took the last (as xclip does), even once the requestor's window
    // went.
    incremental,
    // In chunks of a few bytes, each a while after the last was taken.
    trickling,
    // As incremental, but past three quarters of the text each chunk comes
    // a while after the last was taken: slow and steady.
    slow,
    // As incremental, but sends nothing past half the text.
    stalls,
    // Ends its connection once the first chunk was taken.
    diesMidway,
    // Closes the first requestor's connection (KillClient on its window),
    // then answers whole.
    killsFirstRequestor,
  };
  static constexpr qsizetype chunk = 10'000;

  X11Owner(Answer answer, QByteArray text, QByteArray target = "UTF8_STRING", QByteArray type = {},
           const QByteArray &listed = {})
      : answer_(answer), text_(std::move(text)), connection_(xcb_connect(nullptr, nullptr)) {
    targets_ = internX11Atom(connection_, "TARGETS");
    target_ = internX11Atom(connection_, target);
    offered_ = {targets_, target_};
    if (!listed.isEmpty())
      offered_.resize(64 * 1024 / sizeof(xcb_atom_t), internX11Atom(connection_, listed));
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
  // Whether the window of the requestor of a transfer in chunks went.
  bool requestorGone() const { return requestorGone_; }
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
        next(answer_ == Answer::trickling ? 4 : chunk);
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
    if ((event->response_type & 0x7f) == XCB_DESTROY_NOTIFY) {
      if (reinterpret_cast<const xcb_destroy_notify_event_t *>(event)->window == requestor_)
        requestorGone_ = true;
      return;
    }
    if ((event->response_type & 0x7f) == XCB_PROPERTY_NOTIFY) {
      const auto *change = reinterpret_cast<const xcb_property_notify_event_t *>(event);
      if (change->state != XCB_PROPERTY_DELETE || change->window != requestor_ || change->atom != property_)
        return;
      const bool firstHalf = sent_ < text_.size() / 2;
      if (answer_ == Answer::trickling)
        due_ = Clock::now() + std::chrono::milliseconds(250);
      else if (answer_ == Answer::slow && sent_ >= text_.size() * 3 / 4)
        due_ = Clock::now() + std::chrono::milliseconds(100);
      else if (answer_ != Answer::stalls || firstHalf)
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
      put(XCB_ATOM_ATOM, 32, qsizetype(offered_.size()), offered_.data());
    } else if (request->target == target_ && whole) {
      put(type_, 8, text_.size(), text_.constData());
    } else if (request->target == target_) {
      const uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_STRUCTURE_NOTIFY,
                     size = uint32_t(text_.size());
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
  std::vector<xcb_atom_t> offered_;
  xcb_window_t windows_[2] = {};
  xcb_window_t requestor_ = XCB_WINDOW_NONE;
  xcb_atom_t property_ = XCB_ATOM_NONE;
  qsizetype sent_ = 0;
  std::optional<Clock::time_point> due_;
  std::atomic<int> ended_ = 0;
  std::atomic<bool> requestorGone_ = false;
  std::vector<uint32_t> clients_;
  mutable std::mutex mutex_;
  bool dying_ = false, dead_ = false;
  std::atomic<bool> stop_ = false;
  std::thread thread_;
};

// A process's resident memory in KiB (this one's by default): now, or at
// its peak since the peak was last reset.
qint64 residentKiB(const char *field, const QString &process = QStringLiteral("self")) {
  QFile status(QStringLiteral("/proc/%1/status").arg(process));
  if (!status.open(QIODevice::ReadOnly))
    return 0;
  for (const QByteArray &line : status.readAll().split('\n'))
    if (line.startsWith(field))
      return line.mid(qstrlen(field)).trimmed().split(' ').value(0).toLongLong();
  return 0;
}

// AddressSanitizer's quarantine keeps freed blocks resident, and its
// allocator makes the reader slower than an X server's flood of events: the
// next read takes the backlog.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool residentMemoryTells = false, readerKeepsPace = false;
#else
constexpr bool residentMemoryTells = true, readerKeepsPace = true;
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
// whose answer was cut at the cap is let finish it while it progresses, also
// past the end of the run, and read at once from what was kept until then.
// Text comes by any of its X11 names, without a C string's NUL, and only an
// answer of a text type, or of the type text was asked by, is text. A long
// target list costs little. The reader survives an owner that closes
// its connection, and an owner that takes the clipboard over and over. The
// rows run in order on one board.
TEST(Pasteboard, OnX11AReadOfAnotherProgramsClipboardIsBoundInTimeAndSize) {
  if (QGuiApplication::platformName() != "xcb")
    GTEST_SKIP() << "needs an X server";
  using Answer = X11Owner::Answer;
  constexpr int answerMs = 1000;
  constexpr qsizetype cap = 64 * 1024;
  const ClipboardLimits limits{
      .answerMs = answerMs, .readCap = cap, .drain = {.stall = std::chrono::milliseconds(1000)}};
  // What follows the two reads.
  enum class After {
    nothing,
    // The owner finishes and serves the next requestor whole.
    finishes,
    // The same once the run ended (on a board of its own).
    runEnds,
    // The owner is let go once it sent nothing for the drain's bound.
    letGo,
  };
  struct Offer {
    QByteArray text, target = "UTF8_STRING", type = {}, listed = {};
  };
  struct Row {
    const char *name;
    Answer answer;
    // Each owner takes the clipboard in turn, and is read twice.
    QList<Offer> owners;
    QByteArray first, second;
    After after = After::nothing;
    // The owner's takings between the two reads, the last with `second`.
    int flood = 0;
    int withinMs = answerMs * 7 / 4;
    // The most the process's peak memory may grow by in the row.
    int peakMiB = 0;
  };
  const QByteArray big(16 * cap, 'a'), fox = "The quick brown fox jumps over the lazy dog";
  const QByteArray longer(4 * cap, 'b');
  // Cut by the cap after the first byte of a character.
  const QByteArray accents = QByteArray(cap - 3, 'c') + QByteArray("\xc3\xa9").repeated(8 * cap);
  const Row rows[] = {
      {"owner that never answers", Answer::never, {{"unread"}}, {}, {}},
      {"incremental answer beyond the cap",
       Answer::incremental,
       {{big}},
       big.left(cap),
       big.left(cap),
       After::finishes},
      {"slow owner cut at the cap", Answer::slow, {{longer}}, longer.left(cap), longer.left(cap), After::finishes},
      {"slow owner as the run ends", Answer::slow, {{longer}}, longer.left(cap), longer.left(cap), After::runEnds},
      {"owner that stalls past the cap", Answer::stalls, {{longer}}, longer.left(cap), longer.left(cap), After::letGo},
      {"text only as UTF8_STRING", Answer::whole, {{"h\xc3\xa9llo"}}, "h\xc3\xa9llo", "h\xc3\xa9llo"},
      {"owner that trickles", Answer::trickling, {{fox}}, {}, {}},
      {"owner that dies mid-way", Answer::diesMidway, {{big}}, {}, {}, After::nothing, 0, answerMs / 2},
      {"TEXT answered in another type", Answer::whole, {{"\x1b-L\xbc\xd0\xe0", "TEXT", "COMPOUND_TEXT"}}, {}, {}},
      {"text by its other names",
       Answer::whole,
       {{QByteArray("abc\xe9\0", 5), "STRING"},
        {QByteArray("abc\xc3\xa9\0", 6), "UTF8_STRING"},
        {"abc\xe9", "TEXT", "STRING"},
        {"abc\xc3\xa9", "text/plain"},
        {"abc\xe9", "text/plain"},
        {"abc\xc3\xa9", "TEXT"},
        {"abc\xe9", "TEXT"},
        {"abc\xc3\xa9", "text/plain;charset=UTF-8"}},
       "abc\xc3\xa9",
       "abc\xc3\xa9"},
      {"text/plain cut inside a character",
       Answer::incremental,
       {{accents, "text/plain"}},
       accents.left(cap - 1),
       accents.left(cap - 1),
       After::finishes},
      {"one long name listed over and over",
       Answer::whole,
       {{fox, "UTF8_STRING", {}, "text/" + QByteArray(64'995, 'x')}},
       fox,
       fox,
       After::nothing,
       0,
       answerMs * 7 / 4,
       16},
      {"owner that takes the clipboard over and over",
       Answer::whole,
       {{"before"}},
       "before",
       "after",
       After::nothing,
       200'000,
       answerMs / 2,
       5},
      {"owner that closes the reader's connection", Answer::killsFirstRequestor, {{"after"}}, "after", "after"},
  };
  ClipboardPasteboard board(QProcessEnvironment(), limits);
  for (const Row &row : rows) {
    SCOPED_TRACE(row.name);
    for (const Offer &offer : row.owners) {
      SCOPED_TRACE(offer.target.constData());
      X11Owner owner(row.answer, offer.text, offer.target, offer.type, offer.listed);
      ASSERT_TRUE(QTest::qWaitFor([] { return !QGuiApplication::clipboard()->ownsClipboard(); }));
      std::optional<ClipboardPasteboard> own;
      ClipboardPasteboard &reading = row.after == After::runEnds ? own.emplace(QProcessEnvironment(), limits) : board;
      resetPeakMemory();
      const qint64 before = residentKiB("VmRSS:");
      QElapsedTimer elapsed;
      elapsed.start();
      EXPECT_EQ(reading.read("text/plain"), row.first);
      if (row.flood) {
        // Taken over and over while Crel waits in its event loop, which
        // takes its turns meanwhile (Qt's own connection is told of every
        // change too, and queues what its turns did not take).
        constexpr int perTurn = 1000;
        for (int changes = 0; changes < row.flood; changes += perTurn) {
          owner.flood(perTurn);
          QCoreApplication::processEvents();
        }
        owner.copy(row.second);
        elapsed.start();
      }
      EXPECT_EQ(reading.read("text/plain"), row.second);
      EXPECT_LT(elapsed.elapsed(), row.flood && !readerKeepsPace ? answerMs : row.withinMs);
      if (row.after == After::runEnds) {
        // The process may end right after.
        own->finishDrain(Clock::now());
        own.reset();
      }
      if (row.after == After::letGo) {
        elapsed.start();
        EXPECT_TRUE(QTest::qWaitFor([&] { return owner.requestorGone(); }, 3000));
        EXPECT_GE(elapsed.elapsed(), limits.drain.stall.count() * 3 / 4);
      }
      if (row.peakMiB && residentMemoryTells) {
        EXPECT_LT(residentKiB("VmHWM:") - before, row.peakMiB * 1024);
      }
      if (row.after == After::finishes || row.after == After::runEnds) {
        // The owner was let finish, and serves the next requestor whole.
        EXPECT_TRUE(QTest::qWaitFor([&] { return owner.transfersEnded() == 1; }, 5000));
        ClipboardPasteboard other(QProcessEnvironment(), {.answerMs = 5000, .readCap = 2 * offer.text.size()});
        EXPECT_EQ(other.read("text/plain"), offer.text);
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

// Under an X server of the test's own: another client takes the clipboard
// as fast as the server lets it, after a paste made Crel's reader. The
// server's memory stays flat, and the next copy pastes at once. How late
// the main thread runs meanwhile is not Crel's: Qt's own connection is told
// of every change too, and without Crel's reader at all it runs seconds
// late on one machine and not on another.
TEST(Pasteboard, UnderAnX11SelectionFloodTheReaderKeepsPace) {
  if (QGuiApplication::platformName() != "xcb")
    GTEST_SKIP() << "needs an X server";
  constexpr int answerMs = 1000;
  X11Owner owner(X11Owner::Answer::whole, "before");
  ASSERT_TRUE(QTest::qWaitFor([] { return !QGuiApplication::clipboard()->ownsClipboard(); }));
  ClipboardPasteboard board(QProcessEnvironment(), {.answerMs = answerMs});
  ASSERT_EQ(board.read("text/plain"), "before");
  ucred server{};
  socklen_t length = sizeof server;
  const auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  ASSERT_EQ(getsockopt(xcb_get_file_descriptor(x11->connection()), SOL_SOCKET, SO_PEERCRED, &server, &length), 0);
  const QString serverPid = QString::number(server.pid);
  const qint64 before = residentKiB("VmRSS:", serverPid);

  std::atomic<bool> flooding = true;
  std::thread flood([&] {
    const Clock::time_point end = Clock::now() + std::chrono::seconds(15);
    while (Clock::now() < end)
      owner.flood(10'000);
    flooding = false;
  });
  EXPECT_TRUE(QTest::qWaitFor([&] { return !flooding; }, 30'000));
  flood.join();

  QTest::qWait(10'000);
  const qint64 after = residentKiB("VmRSS:", serverPid), peak = residentKiB("VmHWM:", serverPid);
  EXPECT_LT(after - before, 16 * 1024) << before << " KiB before";
  if (readerKeepsPace) {
    EXPECT_LT(peak - before, 48 * 1024) << before << " KiB before";
  }
  owner.copy("after");
  QElapsedTimer elapsed;
  elapsed.start();
  EXPECT_EQ(board.read("text/plain"), "after");
  EXPECT_LT(elapsed.elapsed(), answerMs / 2);
}

// Under an X server, in a process of its own (the board's reader stays
// ending): the end of the run on the real board lets an owner whose answer
// a paste cut at the cap finish it while it sends, so that it serves the
// next program whole.
TEST(Pasteboard, AtTheEndOfTheRunAnX11OwnerCutAtTheCapIsLetFinish) {
  if (QGuiApplication::platformName() != "xcb")
    GTEST_SKIP() << "needs an X server";
  const qsizetype cap = ClipboardLimits().readCap;
  // Some way past the cap it slows to a chunk every 100 ms, for some 4 s.
  const QByteArray text(cap * 3 / 2, 'a');
  X11Owner owner(X11Owner::Answer::slow, text);
  ASSERT_TRUE(QTest::qWaitFor([] { return !QGuiApplication::clipboard()->ownsClipboard(); }));
  ASSERT_EQ(Pasteboard::general().read("text/plain"), text.left(cap));
  Pasteboard::finishPastes();
  EXPECT_EQ(owner.transfersEnded(), 1);
  ClipboardPasteboard fresh(QProcessEnvironment(), {.answerMs = 10'000, .readCap = 2 * text.size()});
  EXPECT_EQ(fresh.read("text/plain"), text);
}
