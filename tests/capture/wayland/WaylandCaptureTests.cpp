// Capture on a real Wayland compositor (scripts/wayland-testbed): the
// desktop portal's picture, cut per display, against the compositor's own
// picture of each output taken by grim.

#include "../x11/X11SelectionFixture.h"

#include "capture/CaptureSnapshot.h"
#include "platform/display/SnapshotProvider.h"
#include "platform/display/WaylandOutputs.h"

#include <QImageReader>
#include <QPainter>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <xcb/xcb.h>

using namespace crel;
using namespace crel::test;

namespace {

struct Output {
  QString name;
  QRect logical;
  double scale = 1; // the compositor's own
};

// The bed's layout: NAME:X,Y,W,H@SCALE ...
std::vector<Output> bedOutputs() {
  std::vector<Output> outputs;
  for (const QString &item : qEnvironmentVariable("CREL_TESTBED_OUTPUTS").split(' ', Qt::SkipEmptyParts)) {
    const QStringList parts = item.split(QRegularExpression("[:,@]"));
    if (parts.size() == 6)
      outputs.push_back({parts[0], QRect(parts[1].toInt(), parts[2].toInt(), parts[3].toInt(), parts[4].toInt()),
                         parts[5].toDouble()});
  }
  return outputs;
}

// The compositor's own picture of one output at its own scale.
QImage grim(const QString &output) {
  QTemporaryDir folder;
  const QString file = folder.filePath("output.ppm");
  QProcess process;
  process.start("grim", {"-t", "ppm", "-o", output, file});
  if (!process.waitForFinished(20000) || process.exitCode() != 0)
    return {};
  QImageReader reader(file);
  reader.setAllocationLimit(0); // the application's limit is for outside pictures
  return reader.read().convertToFormat(QImage::Format_RGB32);
}

// The output's own pixels. grim scales both axes by the width's scale, so an
// output whose logical size is not whole (2560x1440 at 1.5 is 1706x960) comes
// out with its rows resampled: that one is read raw from the compositor.
QImage ownPixels(const Output &output) {
  const QImage picture = grim(output.name);
  if (std::lround(double(output.logical.height()) * picture.width() / output.logical.width()) == picture.height())
    return picture;
  QImage raw = WaylandOutputs::capture(QProcessEnvironment::systemEnvironment(), output.name);
  for (int y = 0; y < raw.height(); ++y) {
    auto *line = reinterpret_cast<QRgb *>(raw.scanLine(y));
    for (int x = 0; x < raw.width(); ++x)
      line[x] |= 0xff000000u;
  }
  return raw;
}

// Word for word: QImage::pixel() hides the fourth byte of an RGB32 still,
// which every premultiplied use of it takes as the alpha.
qint64 mismatches(const QImage &a, const QImage &b) {
  if (a.size() != b.size())
    return -1;
  const QImage x = a.convertToFormat(QImage::Format_RGB32), y = b.convertToFormat(QImage::Format_RGB32);
  qint64 count = 0;
  for (int row = 0; row < x.height(); ++row) {
    const auto *p = reinterpret_cast<const QRgb *>(x.constScanLine(row));
    const auto *q = reinterpret_cast<const QRgb *>(y.constScanLine(row));
    for (int column = 0; column < x.width(); ++column)
      count += p[column] != q[column];
  }
  return count;
}

// A plain X11 window of one colour, as a program drawing through the core
// protocol makes it: XWayland leaves 0 in the fourth byte of such pixels.
class SolidWindow {
public:
  explicit SolidWindow(QRect logical) {
    if (xcb_connection_has_error(connection_))
      return;
    xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
    const xcb_window_t window = xcb_generate_id(connection_);
    const quint32 values[] = {0x2a6fb4, 1}; // background pixel, override-redirect
    xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window, screen->root, qint16(logical.x()), qint16(logical.y()),
                      quint16(logical.width()), quint16(logical.height()), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      screen->root_visual, XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
    xcb_map_window(connection_, window);
    xcb_flush(connection_);
  }
  ~SolidWindow() { xcb_disconnect(connection_); }
  SolidWindow(const SolidWindow &) = delete;
  SolidWindow &operator=(const SolidWindow &) = delete;

private:
  xcb_connection_t *connection_ = xcb_connect(nullptr, nullptr);
};

// A window over a display, full of one-pixel detail any resampling blurs.
class Pattern : public QWidget {
public:
  explicit Pattern(QRect logical)
      : QWidget(nullptr, Qt::X11BypassWindowManagerHint | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setGeometry(logical);
    // A new pattern each time: what the compositor still shows of the last
    // one must not pass for this one.
    static quint32 made = 0;
    QRandomGenerator random(++made);
    picture_ = QImage(logical.size(), QImage::Format_RGB32);
    for (int y = 0; y < picture_.height(); ++y)
      for (int x = 0; x < picture_.width(); ++x)
        picture_.setPixel(x, y, 0xff000000u | (random.generate() & 0xffffffu));
  }

protected:
  void paintEvent(QPaintEvent *) override { QPainter(this).drawImage(0, 0, picture_); }

private:
  QImage picture_;
};

class WaylandCapture : public X11Selection {
protected:
  void SetUp() override {
    outputs = bedOutputs();
    if (outputs.empty())
      GTEST_SKIP() << "needs scripts/wayland-testbed";
    X11Selection::SetUp();
    // As the application does here: beside the overlays, a managed panel
    // that the compositor places and gives the keyboard.
    coordinator->setKeyPanelFactory([this](const geom::Rect &r) {
      std::shared_ptr<CapturePanel> panel = ScreenCapturePanel::factory(ScreenCapturePanel::Placement::managed)(r);
      keyPanel = static_cast<ScreenCapturePanel *>(panel.get());
      return panel;
    });
    ASSERT_EQ(QGuiApplication::screens().size(), qsizetype(outputs.size()));
    std::vector<QImage> bare;
    for (const Output &output : outputs)
      bare.push_back(grim(output.name));
    for (const Output &output : outputs) {
      patterns.push_back(std::make_unique<Pattern>(output.logical));
      patterns.back()->show();
      ASSERT_TRUE(QTest::qWaitForWindowExposed(patterns.back().get()));
      solids.push_back(
          std::make_unique<SolidWindow>(QRect(output.logical.topLeft() + QPoint(480, 360), QSize(160, 120))));
    }
    // The compositor shows the patterns once grim's pictures changed and
    // then stay.
    std::vector<QImage> last(outputs.size());
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
          bool shown = true;
          for (size_t i = 0; i < outputs.size(); ++i) {
            QImage now = grim(outputs[i].name);
            shown = shown && !now.isNull() && now != bare[i] && now == last[i];
            last[i] = std::move(now);
          }
          return shown;
        },
        60000));
  }

  // The compositor encodes and the portal hands over one picture of the
  // whole desktop: slow on a loaded machine, so the waits are long.
  void beginAndWaitForPanels() {
    coordinator->begin();
    ASSERT_TRUE(QTest::qWaitFor([&] { return coordinator->phase() != Phase::preparing; }, 60000));
    ASSERT_EQ(coordinator->phase(), Phase::selecting) << (errors.empty() ? "" : errors[0].toStdString());
    ASSERT_EQ(panels.size(), outputs.size());
    for (const auto &panel : panels)
      ASSERT_TRUE(panel && QTest::qWaitForWindowExposed(panel.data(), 20000));
    // Wherever the pointer is, the key panel has the keyboard on the display
    // the compositor chose, and that display's still.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return keyPanel && keyPanel->isActiveWindow() && outputAt(keyPanel->frame().toQRectF()); }, 20000));
    EXPECT_EQ(keyPanel->contentView()->snapshot().screenFrame, keyPanel->frame());
  }

  // As the application pairs a screen or a still with its output.
  const Output *outputAt(const QRectF &frame) const {
    std::vector<WaylandOutput> offered;
    for (const Output &output : outputs)
      offered.push_back({output.name, output.logical, (QSizeF(output.logical.size()) * output.scale).toSize()});
    const qsizetype paired = WaylandOutputs::pair({frame}, offered).front();
    return paired < 0 ? nullptr : &outputs[size_t(paired)];
  }

  std::vector<Output> outputs;
  std::vector<std::unique_ptr<Pattern>> patterns;
  std::vector<std::unique_ptr<SolidWindow>> solids;
  QPointer<ScreenCapturePanel> keyPanel;
};

} // namespace

TEST_F(WaylandCapture, EveryStillIsItsOutputsOwnPixels) {
  const auto provider = SnapshotProvider::createDefault();
  const Stills outcome = take(*provider);
  ASSERT_FALSE(outcome.error) << describe(outcome.error).toStdString();
  ASSERT_EQ(outcome.snapshots.size(), outputs.size());
  for (const CaptureSnapshot &snapshot : outcome.snapshots) {
    const Output *output = outputAt(snapshot.screenFrame.toQRectF());
    ASSERT_TRUE(output);
    SCOPED_TRACE(output->name.toStdString());
    const QImage own = ownPixels(*output);
    EXPECT_EQ(snapshot.image.size(), own.size());
    // The compositor's own scale, though 2560 pixels at 1.5 make 1706 logical
    // ones.
    EXPECT_EQ(snapshot.image.devicePixelRatio(), output->scale);
    EXPECT_EQ(mismatches(snapshot.image, own), 0);
  }
}

TEST_F(WaylandCapture, ADragOnEachDisplayCropsExactlyThoseOfItsPixels) {
  // Near the left edge, and on the right part, where the ratio to a rounded
  // logical width drifts from the output's scale.
  std::vector<std::pair<QScreen *, QPoint>> drags;
  for (QScreen *screen : QGuiApplication::screens())
    for (int x : {100, screen->geometry().width() - 406})
      drags.emplace_back(screen, QPoint(x, 80));
  for (const auto &[screen, start] : drags) {
    const Output *output = outputAt(QRectF(screen->geometry()));
    ASSERT_TRUE(output);
    SCOPED_TRACE(output->name.toStdString() + " from " + std::to_string(start.x()));
    images.clear();
    panels.clear();
    // The key panel starts where the pointer is, which need not be where
    // the compositor puts it.
    xdotool(pointAt(screen, QPoint(10, 10)));
    beginAndWaitForPanels();
    // XTest into XWayland: a relative drag from a known point.
    const QPoint from = screen->geometry().topLeft() + start, size(300, 200);
    const QString step = QStringLiteral("mousemove_relative -- 150 100 sleep 0.05 ");
    xdotool(QStringLiteral("mousemove %1 %2 sleep 0.1 mousedown 1 sleep 0.05 %3%3mouseup 1")
                .arg(from.x())
                .arg(from.y())
                .arg(step)
                .split(' '));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !images.empty() || !errors.empty(); }, 60000));
    ASSERT_TRUE(errors.empty()) << errors[0].toStdString();
    ASSERT_EQ(images.size(), 1u);
    // Each edge at the output's own scale, as the compositor lays it out.
    const QImage own = ownPixels(*output);
    const auto pixel = [&](QPoint logical) {
      return QPoint(int(std::lround(logical.x() * output->scale)), int(std::lround(logical.y() * output->scale)));
    };
    const QPoint local = from - output->logical.topLeft();
    const QRect native(pixel(local), pixel(local + size) - QPoint(1, 1));
    EXPECT_EQ(images[0].size(), native.size());
    EXPECT_EQ(mismatches(images[0], own.copy(native)), 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return panelsGone() && !keyPanel; }, 5000));
  }
}
