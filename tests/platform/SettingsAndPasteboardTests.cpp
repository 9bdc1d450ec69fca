#include "FakeCompositor.h"
#include "support/TestSupport.h"

#include "platform/clipboard/Pasteboard.h"
#include "platform/desktop/X11Atom.h"

#include <QClipboard>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QMimeData>
#include <QProcess>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <xcb/xcb.h>

using namespace crel;

TEST(SettingsStore, NonTextValuesReadAsAbsentAndValuesPersist) {
  test::TemporarySettings settings;
  SettingsStore &store = settings.store();
  EXPECT_FALSE(store.stringForKey("k").has_value());
  store.setValue("number", 5);
  EXPECT_FALSE(store.stringForKey("number").has_value());
  store.setString("k", "v");
  store.sync();
  SettingsStore reopened(settings.path());
  EXPECT_EQ(reopened.stringForKey("k"), QString("v"));
}

TEST(Pasteboard, ClipboardKeepsEveryRepresentationSinceClearOrTextReplacingThem) {
  Pasteboard &board = Pasteboard::general();
  board.clear();
  ASSERT_TRUE(board.writeData("image/png", "png-bytes"));
  ASSERT_TRUE(board.writeText("hello"));
  const QMimeData *mime = QGuiApplication::clipboard()->mimeData();
  ASSERT_NE(mime, nullptr);
  EXPECT_EQ(mime->data("image/png"), QByteArray("png-bytes"));
  EXPECT_EQ(mime->text(), "hello");

  // A copy is one publication: clearing leaves the clipboard as it is until
  // the write replaces it whole.
  QSignalSpy published(QGuiApplication::clipboard(), &QClipboard::dataChanged);
  board.clear();
  EXPECT_EQ(QGuiApplication::clipboard()->mimeData()->text(), "hello");
  ASSERT_TRUE(board.writeData("image/png", "png-bytes"));
  EXPECT_EQ(published.count(), 1);
  EXPECT_FALSE(QGuiApplication::clipboard()->mimeData()->hasText());

  // Replacing with text drops every earlier representation in one step; a
  // later write adds to the text.
  ASSERT_TRUE(board.replaceWithText("#FF0000"));
  ASSERT_TRUE(board.writeData("text/x-note", "n"));
  mime = QGuiApplication::clipboard()->mimeData();
  EXPECT_EQ(mime->text(), "#FF0000");
  EXPECT_FALSE(mime->hasFormat("image/png"));
  EXPECT_EQ(mime->data("text/x-note"), "n");
}

TEST(Pasteboard, ReadsWrittenBytesVerbatimAndConvertsImagesOnDemand) {
  const QImage image = test::filledImage({3, 2}, qRgba(10, 20, 30, 255), QImage::Format_ARGB32);
  const QByteArray png = test::encodedImage(image, "PNG");
  ASSERT_FALSE(png.isEmpty());

  FakePasteboard board;
  EXPECT_TRUE(board.read("image/png").isEmpty());
  EXPECT_TRUE(board.readImage().isNull());
  board.writeData("image/png", png);
  board.writeData("text/x-note", "n");
  EXPECT_EQ(board.read("image/png"), png);
  EXPECT_EQ(board.read("text/x-note"), QByteArray("n"));
  EXPECT_TRUE(board.read("application/x-unknown").isEmpty());
  EXPECT_TRUE(board.read("image/tiff").isEmpty());

  // Bytes that only claim to be an image give no image.
  FakePasteboard broken;
  broken.writeData("image/png", "not a png");
  EXPECT_TRUE(broken.readImage().isNull());
}

// Data-control is given up for the run only when the compositor answered
// without it, and then a copy takes the X11 clipboard. One that did not
// answer in time, or closed the connection before answering, refuses the
// copy and leaves the X11 clipboard alone (its bridge would not fetch a
// claim, and a claim given up empties the clipboard); a connection that
// failed is closed at once, so no source of ours lingers on it, and the next
// copy asks again. The end of the run destroys each source once, even when
// another program's copy cancels it meanwhile.
TEST(Pasteboard, DataControlIsGivenUpOnlyWhenTheCompositorAnsweredWithoutIt) {
  using Options = test::FakeCompositor::Options;
  using Closing = test::FakeCompositor::Closing;
  enum Route { dataControl, x11, refused };
  enum Between { nothing, endDevices, endDevicesUnseen, stall };
  struct Row {
    const char *name;
    Options options;
    Between between;
    Route first, second, later;
    int connections;
  };
  const Row rows[] = {
      {"no data-control global", {.manager = false}, nothing, x11, x11, x11, 1},
      {"no seat", {.seat = false}, nothing, x11, x11, x11, 1},
      {"first probe never answered", {.unanswered = 1}, nothing, refused, dataControl, dataControl, 2},
      {"device ended by the compositor", {}, endDevices, dataControl, dataControl, dataControl, 2},
      // The old connection's close is still queued when the next one opens.
      {"device ended, seen by the next copy", {}, endDevicesUnseen, dataControl, refused, dataControl, 2},
      {"compositor stops answering after the first copy", {}, stall, dataControl, refused, dataControl, 2},
      {"socket that takes no connection", {.accepting = false}, nothing, refused, refused, refused, 0},
      {"connection closed before answering", {.closing = Closing::atOnce}, nothing, refused, refused, refused, 4},
      {"connection closed at the device", {.closing = Closing::atDevice}, nothing, x11, x11, x11, 4},
      {"copy elsewhere at the end", {.cancelOnDestroy = true}, nothing, dataControl, dataControl, dataControl, 1},
  };
  constexpr int answerMs = 300;
  for (const Row &row : rows) {
    SCOPED_TRACE(row.name);
    test::FakeCompositor compositor(row.options);
    ClipboardPasteboard board(compositor.environment(), {.answerMs = answerMs});
    const auto onClipboard = [] {
      const QMimeData *mime = QGuiApplication::clipboard()->mimeData();
      return mime ? mime->data("image/png") : QByteArray();
    };
    const auto copy = [&](const char *which, Route route) {
      SCOPED_TRACE(which);
      // Each copy's own bytes, so the clipboard tells which copy it holds.
      const QByteArray bytes = QByteArray(which) + ": " + row.name, before = onClipboard();
      const int selections = compositor.selections();
      QElapsedTimer elapsed;
      elapsed.start();
      board.clear();
      EXPECT_EQ(board.writeData("image/png", bytes), route != refused);
      EXPECT_LT(elapsed.elapsed(), answerMs * 7 / 4);
      std::optional<bool> placed;
      QObject context;
      board.whenPlaced(&context, [&placed](bool answer) { placed = answer; });
      EXPECT_EQ(placed, route != refused);
      EXPECT_TRUE(onClipboard() == (route == x11 ? bytes : before));
      if (route != refused) {
        EXPECT_EQ(compositor.selections(), selections + int(route == dataControl));
      } else {
        EXPECT_TRUE(QTest::qWaitFor([&] { return compositor.open() == 0; }));
      }
    };
    copy("first", row.first);
    if (row.between == endDevices || row.between == endDevicesUnseen)
      compositor.finishDevices();
    if (row.between == endDevices) {
      EXPECT_TRUE(QTest::qWaitFor([&] { return compositor.open() == 0; }));
    }
    if (row.between == stall)
      compositor.stall(true);
    copy("second", row.second);
    compositor.stall(false);
    copy("third", row.later);
    QCoreApplication::processEvents();
    copy("fourth", row.later);
    EXPECT_EQ(compositor.connections(), row.connections);
    EXPECT_TRUE(QTest::qWaitFor([&] { return compositor.open() == int(row.later == dataControl); }));
    board.withdraw();
    EXPECT_TRUE(QTest::qWaitFor([&] { return compositor.open() == 0; }));
    EXPECT_EQ(compositor.invalidRequests(), 0);
  }
}

// A read of another program's clipboard costs one deadline in all, however
// many names its text goes by and whatever its owner does, and keeps at
// most the cap, cut where a character ends; what an owner too slow for the
// deadline wrote is not pasted.
TEST(Pasteboard, AReadOfAnotherProgramsClipboardIsBoundInTimeAndSize) {
  using Owner = test::FakeCompositor::Owner;
  constexpr int answerMs = 1000;
  constexpr qsizetype cap = 1001;
  struct Row {
    const char *name;
    QStringList offered;
    Owner owner;
    QByteArray expected;
  };
  const Row rows[] = {
      {"owner that never writes", {"text/plain", "text/plain;charset=utf-8"}, Owner::silent, {}},
      {"owner that floods, under the second name",
       {"text/plain;charset=utf-8"},
       Owner::flooding,
       QString(500, QChar(0xe9)).toUtf8()},
      {"the second name in capitals",
       {"text/plain;charset=UTF-8"},
       Owner::flooding,
       QString(500, QChar(0xe9)).toUtf8()},
      {"owner that writes a byte every 100 ms", {"text/plain"}, Owner::trickling, {}},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(row.name);
    test::FakeCompositor compositor({.offered = row.offered, .owner = row.owner});
    ClipboardPasteboard board(compositor.environment(), {.answerMs = answerMs, .readCap = cap});
    QElapsedTimer elapsed;
    elapsed.start();
    const QByteArray read = board.read("text/plain");
    EXPECT_EQ(read.size(), row.expected.size());
    EXPECT_TRUE(read == row.expected);
    EXPECT_LT(elapsed.elapsed(), answerMs * 7 / 4);
    EXPECT_EQ(compositor.receives(), 1);
  }
}

// An owner that missed a read's deadline is not waited for again: later
// reads of its selection answer at once, until another program copies.
TEST(Pasteboard, ASilentOwnerCostsOneDeadlineUntilTheSelectionChanges) {
  constexpr int answerMs = 500;
  test::FakeCompositor compositor({.offered = {"text/plain"}, .owner = test::FakeCompositor::Owner::silent});
  ClipboardPasteboard board(compositor.environment(), {.answerMs = answerMs});
  QElapsedTimer elapsed;
  elapsed.start();
  EXPECT_TRUE(board.read("text/plain").isEmpty());
  EXPECT_TRUE(board.read("text/plain").isEmpty());
  EXPECT_LT(elapsed.elapsed(), answerMs * 7 / 4);
  EXPECT_EQ(compositor.receives(), 1);
  // The new offer may be given the old one's address: only the event counts.
  compositor.changeSelection();
  EXPECT_TRUE(board.read("text/plain").isEmpty());
  EXPECT_EQ(compositor.receives(), 2);
}

namespace {
// Runs `program` while the event loop serves its paste.
QByteArray run(const QString &program, const QStringList &arguments) {
  QProcess process;
  QEventLoop loop;
  QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
  QTimer::singleShot(10000, &loop, &QEventLoop::quit);
  process.start(program, arguments);
  loop.exec();
  return process.readAllStandardOutput();
}
} // namespace

// In a Wayland session (CTest runs it in scripts/wayland-testbed): a copy
// reaches Wayland programs, and reads back from what was published; once
// another program copied, from that program.
TEST(Pasteboard, OnWaylandCopiesReachWaylandProgramsAndReadBack) {
  if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
    GTEST_SKIP() << "needs a Wayland session";
  const QImage image = test::filledImage({40, 30}, qRgba(200, 20, 30, 255), QImage::Format_ARGB32);
  const QByteArray png = test::encodedImage(image, "PNG");
  Pasteboard &board = Pasteboard::general();
  board.clear();
  ASSERT_TRUE(board.writeData("image/png", png));
  EXPECT_EQ(run("wl-paste", {"-t", "image/png"}), png);
  EXPECT_EQ(board.readImage(), image);

  // A reader that stops early leaves this process alive: noise fills the
  // pipe long before the end.
  QImage noise(1000, 1000, QImage::Format_RGB32);
  for (int y = 0; y < noise.height(); ++y)
    for (int x = 0; x < noise.width(); ++x)
      noise.setPixel(x, y, QRandomGenerator::global()->generate());
  board.clear();
  ASSERT_TRUE(board.writeData("image/png", test::encodedImage(noise, "PNG")));
  EXPECT_EQ(run("sh", {"-c", "wl-paste -t image/png | head -c 4"}), png.left(4));

  ASSERT_EQ(QProcess::execute("wl-copy", {"from another program"}), 0);
  EXPECT_EQ(board.read("text/plain"), "from another program");
  EXPECT_TRUE(board.readImage().isNull());
  ASSERT_TRUE(board.replaceWithText("ours again"));
  EXPECT_EQ(run("wl-paste", {"-n"}), "ours again");
}

// Under an X server (CTest runs it in scripts/xvfb-testbed): text that Crel's
// own Qt side holds on the X11 clipboard, as a text field's copy puts it
// there, is read back from it. Through data-control the compositor would
// ask this very thread for it while the thread waits.
TEST(Pasteboard, OnX11TextCrelHoldsIsReadWithoutARoundTrip) {
  if (QGuiApplication::platformName() != "xcb")
    GTEST_SKIP() << "needs an X server";
  test::FakeCompositor compositor({.offered = {"text/plain"}, .owner = test::FakeCompositor::Owner::silent});
  ClipboardPasteboard board(compositor.environment());
  QGuiApplication::clipboard()->setText("typed in a field");
  ASSERT_TRUE(QGuiApplication::clipboard()->ownsClipboard());
  EXPECT_EQ(board.read("text/plain"), "typed in a field");
  EXPECT_EQ(compositor.connections(), 0);
}

// Under an X server: a copy on the X11 route of a Wayland session counts as
// placed once the compositor's bridge fetched its targets; one the bridge
// never fetched is given up, so the failure reported is true. An X server
// started from a Wayland login has no bridge to wait for.
TEST(Pasteboard, OnX11ACopyCountsAsPlacedOnlyWhereItIsOnTheClipboard) {
  if (QGuiApplication::platformName() != "xcb")
    GTEST_SKIP() << "needs an X server";
  test::FakeCompositor withoutDataControl({.manager = false});
  QProcessEnvironment waylandLogin;
  waylandLogin.insert("XDG_SESSION_TYPE", "wayland");
  struct Row {
    const char *name;
    QProcessEnvironment environment;
    bool bridgeFetches;
    bool placed;
  };
  const Row rows[] = {
      {"bridge that fetches", withoutDataControl.environment(), true, true},
      {"bridge that never fetches", withoutDataControl.environment(), false, false},
      {"no bridge", waylandLogin, false, true},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(row.name);
    ClipboardPasteboard board(row.environment);
    board.clear();
    ASSERT_TRUE(board.writeData("image/png", row.name));
    // The bridge's request, from a client of its own.
    xcb_connection_t *bridge = xcb_connect(nullptr, nullptr);
    if (row.bridgeFetches) {
      const xcb_window_t window = xcb_generate_id(bridge);
      xcb_create_window(bridge, XCB_COPY_FROM_PARENT, window,
                        xcb_setup_roots_iterator(xcb_get_setup(bridge)).data->root, 0, 0, 1, 1, 0,
                        XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
      xcb_convert_selection(bridge, window, internX11Atom(bridge, "CLIPBOARD"), internX11Atom(bridge, "TARGETS"),
                            internX11Atom(bridge, "CREL_TARGETS"), XCB_CURRENT_TIME);
      xcb_flush(bridge);
    }
    QObject context;
    std::optional<bool> placed;
    board.whenPlaced(&context, [&placed](bool answer) { placed = answer; });
    EXPECT_TRUE(QTest::qWaitFor([&] { return placed.has_value(); }));
    EXPECT_EQ(placed, row.placed);
    EXPECT_EQ(QGuiApplication::clipboard()->ownsClipboard(), row.placed);
    xcb_disconnect(bridge);
  }
}
