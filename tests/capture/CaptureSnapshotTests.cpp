#include "capture/CaptureSnapshot.h"
#include "capture/CropBuffer.h"
#include "document/CrelError.h"
#include "platform/base/MemoryRoom.h"
#include "platform/display/X11RootGrabber.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using crel::CaptureSnapshot;
using crel::CrelError;
using crel::geom::Rect;

namespace {

// A display whose every pixel encodes its own position, so a crop can be
// checked for exactly which pixels it took.
QImage positionImage(int width, int height) {
  return crel::test::generatedImage(
      {width, height}, [](int x, int y) { return qRgb(x & 0xff, y & 0xff, ((x >> 8) << 4) | (y >> 8)); },
      QImage::Format_RGB32);
}

CaptureSnapshot snapshot(Rect frame, int width, int height) { return {7, frame, positionImage(width, height)}; }

} // namespace

// An offset high-density display and clipping to it are rows of the self-test.
TEST(PixelRect, ScalesClipsAndRoundsEachEdgeOnce) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Row {
    Rect frame;
    QSize image;
    Rect selection;
    QRect pixels;           // empty: no pixels
    double outputScale = 0; // paired with a Wayland output of this scale
  } rows[] = {
      {{0, 0, 1440, 900}, {2880, 1800}, {0, 0, 1440, 900}, {0, 0, 2880, 1800}},
      {{0, 0, 1440, 900}, {2880, 1800}, {100.25, 50.75, 10, 10}, {201, 102, 20, 20}},
      // 1.5x: edges 2.25 -> 2 and 4.5 -> 5, so neighbours share the edge at 5
      // and the width is 3, not round(1.5 x 1.5).
      {{0, 0, 100, 100}, {150, 150}, {1.5, 0, 1.5, 10}, {2, 0, 3, 15}},
      {{0, 0, 100, 100}, {150, 150}, {3, 0, 1.5, 10}, {5, 0, 2, 15}},
      {{0, 0, 100, 100}, {100, 100}, {0.5, 2.5, 1, 1}, {1, 3, 1, 1}},    // halves away from zero, not to even
      {{0, 0, 100, 50}, {300, 100}, {10, 10, 20, 20}, {30, 20, 60, 40}}, // each axis its own scale
      {{0, 0, 100, 100}, {200, 200}, {100, 0, 10, 10}, {}},              // touches the right edge only
      {{0, 0, 100, 100}, {200, 200}, {10, 10, 0, 10}, {}},
      {{0, 0, 100, 100}, {200, 200}, Rect::null(), {}},
      {{0, 0, 100, 100}, {200, 200}, {10.1, 10, 0.1, 10}, {}}, // thinner than half a pixel
      {{0, 0, 100, 100}, {200, 200}, {nan, 0, 10, 10}, {}},
      {{0, 0, 0, 100}, {10, 10}, {0, 0, 10, 10}, {}},
      // A Wayland output of 2560 pixels at 1.5 is 1706 wide: a screen not
      // paired with it maps at 2560/1706, and a drag to its right edge takes
      // its last column.
      {{0, 0, 1706, 960}, {2560, 1440}, {100, 80, 300, 200}, {150, 120, 450, 300}},
      {{0, 0, 1706, 960}, {2560, 1440}, {1300, 80, 406, 200}, {1951, 120, 609, 300}},
      {{0, 0, 1706, 960}, {2560, 1440}, {800, 80, 200, 200}, {1200, 120, 301, 300}},
      // Paired with that output, at its scale of 1.5 wherever the drag is, as
      // the compositor maps it; the panel's far edges still reach the last
      // column and row (1706 x 1.5 is 2559).
      {{0, 0, 1706, 960}, {2560, 1440}, {800, 80, 200, 200}, {1200, 120, 300, 300}, 1.5},
      {{0, 0, 1706, 960}, {2560, 1440}, {1500, 80, 200, 200}, {2250, 120, 300, 300}, 1.5},
      {{1280, 0, 1706, 960}, {2560, 1440}, {2580, 80, 500, 200}, {1950, 120, 610, 300}, 1.5},
      {{0, 0, 960, 1706}, {1440, 2560}, {0, 1500, 960, 206}, {0, 2250, 1440, 310}, 1.5}, // turned
      // The grab came back a pixel short of frame x scale.
      {{0, 0, 100, 100}, {199, 199}, {0, 0, 100, 100}, {0, 0, 199, 199}},
      {{0, 0, 100, 100}, {199, 199}, {99.9, 99.9, 0.1, 0.1}, {}},
      // A 2x monitor left of and above the main one: the selection misses it.
      {{-1440, -300, 1440, 900}, {2880, 1800}, {0, 0, 50, 50}, {}},
  };
  for (const Row &row : rows) {
    const CaptureSnapshot s{1, row.frame, positionImage(row.image.width(), row.image.height()), row.outputScale};
    const QRect got = s.pixelRect(row.selection);
    SCOPED_TRACE(testing::Message() << row.selection.minX() << "," << row.selection.minY() << " in "
                                    << row.frame.minX());
    if (row.pixels.isEmpty())
      EXPECT_TRUE(got.isEmpty()) << got.x() << "," << got.y() << " " << got.width() << "x" << got.height();
    else
      EXPECT_EQ(got, row.pixels);
  }
}

TEST(Crop, CopiesExactlyThePixelsUnderTheSelection) {
  const auto s = snapshot({-1440, -300, 1440, 900}, 2880, 1800);
  const QImage crop = s.crop({-1000, 0, 10.5, 20});
  ASSERT_EQ(crop.size(), QSize(21, 40));
  EXPECT_EQ(crop.pixel(0, 0), s.image.pixel(880, 600));
  EXPECT_EQ(crop.pixel(20, 39), s.image.pixel(900, 639));
  EXPECT_EQ(crop.devicePixelRatio(), 1);
}

TEST(Crop, OwnsItsPixelsWhenTheStillIsAViewIntoForeignMemory) {
  std::vector<quint32> buffer(16 * 8, 0xff336699u);
  QImage view(reinterpret_cast<const uchar *>(buffer.data()), 16, 8, 64, QImage::Format_RGB32);
  const CaptureSnapshot s{1, {0, 0, 16, 8}, view};
  const QImage crop = s.crop({2, 2, 4, 4});
  std::fill(buffer.begin(), buffer.end(), 0u);
  EXPECT_EQ(crop.pixel(1, 1), 0xff336699u);
}

namespace {

// Anonymous memory the process holds in RAM, in MB.
double residentAnonymousMb() {
  QFile status(QStringLiteral("/proc/self/status"));
  if (!status.open(QIODevice::ReadOnly))
    return -1;
  const std::optional<qint64> bytes = crel::MemoryRoom::kilobytes(status.readAll(), "RssAnon");
  return bytes ? double(*bytes) / (1 << 20) : -1;
}

} // namespace

// The buffer made ready for a crop is as large as the display; what the
// image keeps of it is its own pixels, so an editor of a small selection
// does not hold a whole 4K display of memory.
TEST(Crop, InThePreparedBufferKeepsOnlyItsOwnPages) {
  const auto s = snapshot({0, 0, 3840, 2160}, 3840, 2160);
  const std::size_t display = std::size_t(s.image.sizeInBytes());
  struct Row {
    const char *name;
    Rect selection;
  };
  for (const Row &row : {Row{"small", {100, 50, 400, 300}}, Row{"whole", {0, 0, 3840, 2160}}}) {
    SCOPED_TRACE(row.name);
    const double before = residentAnonymousMb();
    crel::CropBuffer buffer;
    buffer.prepare(display);
    const QImage crop = s.crop(row.selection, &buffer);
    ASSERT_EQ(crop.size(), row.selection.toQRectF().size().toSize());
    EXPECT_EQ(crop.pixel(0, 0), s.image.pixel(int(row.selection.minX()), int(row.selection.minY())));
    EXPECT_EQ(crop.pixel(crop.width() - 1, crop.height() - 1),
              s.image.pixel(int(row.selection.maxX()) - 1, int(row.selection.maxY()) - 1));
    // The rest is given back in the background, within moments.
    const double own = double(crop.sizeInBytes()) / (1 << 20);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    double held = residentAnonymousMb() - before;
    while (held > own + 4 && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      held = residentAnonymousMb() - before;
    }
    EXPECT_LE(held, own + 4) << "MB held for a crop of " << own << " MB";
  }
}

namespace {

struct Outcome {
  std::vector<CaptureSnapshot> snapshots;
  std::exception_ptr error;
  bool called = false;
};

Outcome take(crel::SnapshotProvider &provider) {
  Outcome outcome;
  QObject receiver;
  QEventLoop loop;
  CaptureSnapshot::takeDisplays(provider, &receiver, [&](std::vector<CaptureSnapshot> s, std::exception_ptr e) {
    outcome = {std::move(s), e, true};
    loop.quit();
  });
  EXPECT_FALSE(outcome.called) << "the completion must not run inside the call";
  QTimer::singleShot(5000, &loop, &QEventLoop::quit);
  loop.exec();
  return outcome;
}

QString messageOf(const std::exception_ptr &error) {
  try {
    std::rethrow_exception(error);
  } catch (const CrelError &e) {
    return "CrelError: " + e.errorDescription();
  } catch (const crel::SnapshotError &e) {
    return "SnapshotError: " + e.message();
  } catch (...) {
  }
  return {};
}

} // namespace

TEST(TakeDisplays, DeliversOneSnapshotPerStill) {
  crel::FakeSnapshotProvider provider;
  provider.stills = {{3, "LEFT", QRectF(0, 0, 960, 540), 2, positionImage(1920, 1080)},
                     {4, "RIGHT", QRectF(1920, 0, 1706, 960), 1.5, positionImage(2560, 1440), 1.5}};
  const Outcome outcome = take(provider);
  ASSERT_TRUE(outcome.called);
  ASSERT_EQ(outcome.snapshots.size(), 2u);
  EXPECT_EQ(outcome.snapshots[0].displayID, 3u);
  EXPECT_EQ(outcome.snapshots[0].screenFrame, Rect(0, 0, 960, 540));
  EXPECT_EQ(outcome.snapshots[1].screenFrame, Rect(1920, 0, 1706, 960));
  EXPECT_EQ(outcome.snapshots[0].outputScale, 0);
  EXPECT_EQ(outcome.snapshots[1].outputScale, 1.5);
}

// Which platform errors are a refusal is checked by --self-test; here, that
// they pass through unchanged while the two the capture knows become its own.
TEST(TakeDisplays, NoOrAChangedDisplayBecomeCaptureErrorsPlatformFailuresPassUnchanged) {
  using crel::SnapshotError;
  using Room = crel::UserFolders::Room;
  const auto full = [](qint64 freeBytes) {
    return std::make_exception_ptr(SnapshotError::picturesFolderCannotTake("/p", {Room::full, freeBytes}));
  };
  const QString noRoom = "SnapshotError: Your desktop saves screenshots into the folder /p, which has %1. Free some "
                         "space on its disk, then start a new capture. If it was not that, the desktop declined the "
                         "screenshot: allow this application to take screenshots when your desktop asks, or in the "
                         "privacy section of your desktop's settings.";
  const struct {
    std::exception_ptr error; // with no stills
    QString message;
  } rows[] = {
      {nullptr, "CrelError: No display is available to capture."},
      {std::make_exception_ptr(SnapshotError::displayChanged()),
       "CrelError: A display changed. Start a new capture on an available display."},
      {std::make_exception_ptr(SnapshotError::readRefused()),
       "SnapshotError: The X server refused to let this application read the screen. Allow it to read the screen, "
       "then start a new capture."},
      {std::make_exception_ptr(SnapshotError::failed()),
       "SnapshotError: The display could not be captured. Start a new capture."},
      // MB as the updater counts them, and never more than is free.
      {full((5 << 20) + 700 * 1024), noRoom.arg("too little free space (5 MB free)")},
      {full(400 * 1024), noRoom.arg("too little free space (less than 1 MB free)")},
      {full(0), noRoom.arg("no free space")},
  };
  for (const auto &row : rows) {
    crel::FakeSnapshotProvider provider;
    provider.error = row.error;
    EXPECT_EQ(messageOf(take(provider).error), row.message);
  }
  EXPECT_FALSE(CaptureSnapshot::isPermissionError(nullptr));
}

TEST(TakeDisplays, NeverCallsBackAfterCancelOrWithoutItsReceiver) {
  crel::FakeSnapshotProvider provider;
  provider.stills = {{1, "S", QRectF(0, 0, 10, 10), 1, positionImage(10, 10)}};
  int calls = 0;
  QObject receiver;
  CaptureSnapshot::takeDisplays(provider, &receiver, [&](auto, auto) { ++calls; }).cancel();
  {
    QObject gone;
    CaptureSnapshot::takeDisplays(provider, &gone, [&](auto, auto) { ++calls; });
  }
  QCoreApplication::processEvents();
  QCoreApplication::processEvents();
  EXPECT_EQ(calls, 0);
}

TEST(SessionRefusal, RefusesWaylandSessionsAndExplainsWhy) {
  QProcessEnvironment env;
  EXPECT_FALSE(crel::SnapshotProvider::sessionRefusal(env));
  env.insert("XDG_SESSION_TYPE", "x11");
  env.insert("DISPLAY", ":5");
  EXPECT_FALSE(crel::SnapshotProvider::sessionRefusal(env));

  QProcessEnvironment xwayland = env;
  xwayland.insert("WAYLAND_DISPLAY", "wayland-0");
  const auto refusal = crel::SnapshotProvider::sessionRefusal(xwayland);
  ASSERT_TRUE(refusal);
  EXPECT_EQ(refusal->kind(), crel::SnapshotError::Kind::permissionDeclined);
  EXPECT_TRUE(refusal->message().contains("Wayland"));

  QProcessEnvironment typed;
  typed.insert("XDG_SESSION_TYPE", "wayland");
  EXPECT_TRUE(crel::SnapshotProvider::sessionRefusal(typed));
}

TEST(SnapshotErrors, TellARefusedReadFromOtherXErrors) {
  using crel::SnapshotError;
  using crel::X11RootGrabber;
  EXPECT_EQ(X11RootGrabber::errorForCode(10).kind(), SnapshotError::Kind::permissionDeclined); // BadAccess
  // BadValue, BadMatch, BadDrawable, BadAlloc, BadImplementation
  for (int code : {2, 8, 9, 11, 17})
    EXPECT_EQ(X11RootGrabber::errorForCode(code).kind(), SnapshotError::Kind::failed) << code;
}
