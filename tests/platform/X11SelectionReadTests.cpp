#include "platform/clipboard/Pasteboard.h"
#include "platform/desktop/X11Atom.h"

#include <QClipboard>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QTest>

#include <gtest/gtest.h>

#include <xcb/xcb.h>

#include <poll.h>

#include <atomic>
#include <cstdlib>
#include <thread>

using namespace crel;

namespace {

// Another program owning the X11 CLIPBOARD, on a connection of the test's
// own and served on a thread of its own while the test's thread reads. It
// offers its text only as UTF8_STRING.
class X11Owner {
public:
  enum class Answer { never, whole, incremental };
  static constexpr qsizetype chunk = 10'000;

  X11Owner(Answer answer, QByteArray text)
      : answer_(answer), text_(std::move(text)), connection_(xcb_connect(nullptr, nullptr)) {
    targets_ = internX11Atom(connection_, "TARGETS");
    utf8_ = internX11Atom(connection_, "UTF8_STRING");
    incr_ = internX11Atom(connection_, "INCR");
    const xcb_window_t window = xcb_generate_id(connection_);
    xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window,
                      xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
    const xcb_atom_t clipboard = internX11Atom(connection_, "CLIPBOARD");
    xcb_set_selection_owner(connection_, window, clipboard, XCB_CURRENT_TIME);
    std::free(xcb_get_selection_owner_reply(connection_, xcb_get_selection_owner(connection_, clipboard), nullptr));
    thread_ = std::thread([this] { serve(); });
  }
  ~X11Owner() {
    stop_ = true;
    thread_.join();
    xcb_disconnect(connection_);
  }

  // The chunks of an incremental answer the reader asked for.
  int chunksAsked() const { return chunks_; }

private:
  void serve() {
    while (!stop_) {
      pollfd readable{xcb_get_file_descriptor(connection_), POLLIN, 0};
      ::poll(&readable, 1, 20);
      while (xcb_generic_event_t *event = xcb_poll_for_event(connection_)) {
        handle(event);
        std::free(event);
      }
      xcb_flush(connection_);
    }
  }

  void handle(const xcb_generic_event_t *event) {
    const auto put = [this](xcb_window_t window, xcb_atom_t property, xcb_atom_t type, uint8_t format, qsizetype length,
                            const void *data) {
      xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, window, property, type, format, uint32_t(length), data);
    };
    if ((event->response_type & 0x7f) == XCB_PROPERTY_NOTIFY) {
      const auto *change = reinterpret_cast<const xcb_property_notify_event_t *>(event);
      if (change->state != XCB_PROPERTY_DELETE || change->window != requestor_ || change->atom != property_)
        return;
      ++chunks_;
      const QByteArray next = text_.mid(sent_, chunk);
      sent_ += next.size();
      put(requestor_, property_, utf8_, 8, next.size(), next.constData());
    }
    if ((event->response_type & 0x7f) != XCB_SELECTION_REQUEST || answer_ == Answer::never)
      return;
    const auto *request = reinterpret_cast<const xcb_selection_request_event_t *>(event);
    alignas(4) char sent[32] = {};
    auto *notify = reinterpret_cast<xcb_selection_notify_event_t *>(sent);
    *notify = {XCB_SELECTION_NOTIFY, 0, 0, request->time, request->requestor, request->selection, request->target,
               request->property};
    if (request->target == targets_) {
      const xcb_atom_t offered[] = {targets_, utf8_};
      put(request->requestor, request->property, XCB_ATOM_ATOM, 32, 2, offered);
    } else if (request->target == utf8_ && answer_ == Answer::whole) {
      put(request->requestor, request->property, utf8_, 8, text_.size(), text_.constData());
    } else if (request->target == utf8_) {
      const uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE, size = uint32_t(text_.size());
      xcb_change_window_attributes(connection_, request->requestor, XCB_CW_EVENT_MASK, &events);
      put(request->requestor, request->property, incr_, 32, 1, &size);
      requestor_ = request->requestor;
      property_ = request->property;
    } else {
      notify->property = XCB_ATOM_NONE;
    }
    xcb_send_event(connection_, false, request->requestor, XCB_EVENT_MASK_NO_EVENT, sent);
  }

  const Answer answer_;
  const QByteArray text_;
  xcb_connection_t *const connection_;
  xcb_atom_t targets_, utf8_, incr_;
  xcb_window_t requestor_ = XCB_WINDOW_NONE;
  xcb_atom_t property_ = XCB_ATOM_NONE;
  qsizetype sent_ = 0;
  std::atomic<int> chunks_ = 0;
  std::atomic<bool> stop_ = false;
  std::thread thread_;
};

} // namespace

// Under an X server: a read of another program's clipboard ends by one
// deadline and keeps at most the cap, asking an incremental owner for no
// more than that. An owner that let a read miss its deadline is not waited
// for again; the next owner is read again. The rows run in order on one
// board.
TEST(Pasteboard, OnX11AReadOfAnotherProgramsClipboardIsBoundInTimeAndSize) {
  if (QGuiApplication::platformName() != "xcb")
    GTEST_SKIP() << "needs an X server";
  constexpr int answerMs = 1000;
  constexpr qsizetype cap = 64 * 1024;
  struct Row {
    const char *name;
    X11Owner::Answer answer;
    QByteArray offered, expected;
  };
  const Row rows[] = {
      {"owner that never answers", X11Owner::Answer::never, "unread", {}},
      {"incremental answer beyond the cap", X11Owner::Answer::incremental, QByteArray(16 * cap, 'a'),
       QByteArray(cap, 'a')},
      {"text only as UTF8_STRING", X11Owner::Answer::whole, "h\xc3\xa9llo", "h\xc3\xa9llo"},
  };
  ClipboardPasteboard board(QProcessEnvironment(), {.answerMs = answerMs, .readCap = cap});
  for (const Row &row : rows) {
    SCOPED_TRACE(row.name);
    X11Owner owner(row.answer, row.offered);
    ASSERT_TRUE(QTest::qWaitFor([] { return !QGuiApplication::clipboard()->ownsClipboard(); }));
    QElapsedTimer elapsed;
    elapsed.start();
    EXPECT_EQ(board.read("text/plain"), row.expected);
    EXPECT_LE(owner.chunksAsked(), cap / X11Owner::chunk + 2);
    EXPECT_EQ(board.read("text/plain"), row.expected);
    EXPECT_LT(elapsed.elapsed(), answerMs * 7 / 4);
  }
}
