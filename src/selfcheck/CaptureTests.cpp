#include "CaptureTests.h"

#include "Check.h"
#include "Fixtures.h"
#include "PixelProbe.h"

#include "capture/RegionSelectionView.h"
#include "capture/SilentCapturePanel.h"
#include "platform/display/SnapshotError.h"

#include <QColorSpace>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QTimer>

#include <optional>
#include <vector>

namespace crel::CaptureTests {

using NativeTests::colorAt;
using NativeTests::expect;
using NativeTests::fail;
using Phase = CaptureCoordinator::Phase;

namespace {

// 800 x 600: green over blue on the left, red over yellow on the right. It
// stands for a desktop frozen while another application's dropdown was open;
// the green quadrant holds the dropdown.
QImage quadrantFixture() {
  QImage bitmap(800, 600, QImage::Format_RGBA8888);
  if (bitmap.isNull())
    fail(QStringLiteral("The 800 by 600 capture fixture could not be created"));
  bitmap.setColorSpace(QColorSpace(QColorSpace::SRgb));
  QPainter painter(&bitmap);
  painter.setCompositionMode(QPainter::CompositionMode_Source);
  painter.fillRect(0, 0, 400, 300, QColor::fromRgbF(0, 1, 0));
  painter.fillRect(400, 0, 400, 300, QColor::fromRgbF(1, 0, 0));
  painter.fillRect(0, 300, 400, 300, QColor::fromRgbF(0, 0, 1));
  painter.fillRect(400, 300, 400, 300, QColor::fromRgbF(1, 1, 0));
  return bitmap;
}

// Frames are global points with the origin at the top left. The primary
// display has scale 2 and lies left of and above the origin; the secondary
// one has scale 1 and lies below it.
CaptureSnapshot primarySnapshot(const QImage &fixture) { return {42, geom::Rect(-500, -500, 400, 300), fixture}; }
CaptureSnapshot secondarySnapshot(const QImage &fixture) { return {43, geom::Rect(0, 0, 800, 600), fixture}; }

// Runs the event loop in short steps until `condition` holds, for at most
// three seconds, then reports it.
void wait(const QString &message, const std::function<bool()> &condition) {
  expect(NativeTests::pumpUntil(condition, 3000, 5), message);
}

// Lets queued work land without waiting for anything in particular.
void settle() { NativeTests::pumpFor(30); }

// Delivers a mouse event to `view` at a point of its own; answers whether the
// view consumed it.
bool sendMouse(QWidget &view, QEvent::Type type, Qt::MouseButton button, QPointF at) {
  const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
  const Qt::MouseButton changed = type == QEvent::MouseMove ? Qt::NoButton : button;
  QMouseEvent event(type, at, view.mapToGlobal(at), changed, held, Qt::NoModifier);
  QCoreApplication::sendEvent(&view, &event);
  return event.isAccepted();
}

void pressEscape(QWidget &view) {
  QKeyEvent event(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier, QStringLiteral("\x1b"));
  QCoreApplication::sendEvent(&view, &event);
}

// What the fakes of the main coordinator record.
struct CaptureLog {
  int requests = 0;
  // The still request waiting for its answer, if any.
  CaptureSnapshot::Completion pending;
  QPointer<QObject> pendingReceiver;
  // Every panel the coordinator asked for, in creation order.
  std::vector<std::shared_ptr<SilentCapturePanel>> panels;
  // Stands for the captured application's dropdown, which any overlay
  // brought to the front would dismiss.
  bool dropdownOpen = true;
  int deliveries = 0;
  std::optional<QImage> deliveredImage;

  // Answers the waiting request with `snapshots`, later on the event loop as
  // a real grab would. A cancelled request is answered too: dropping a stale
  // answer is the coordinator's job.
  void resume(std::vector<CaptureSnapshot> snapshots) {
    if (pending && pendingReceiver)
      QTimer::singleShot(0, pendingReceiver.data(),
                         [done = std::move(pending), snapshots = std::move(snapshots)] { done(snapshots, nullptr); });
    pending = nullptr;
    pendingReceiver.clear();
  }

  SilentCapturePanel &panel(std::size_t index) const {
    if (index >= panels.size() || !panels[index])
      fail(QStringLiteral("Capture panel %1 is missing").arg(index));
    return *panels[index];
  }

  RegionSelectionView &view(std::size_t index) const {
    RegionSelectionView *view = panel(index).contentView();
    if (!view)
      fail(QStringLiteral("Capture panel %1 has no selection view").arg(index));
    return *view;
  }

  const QImage &image() const {
    if (!deliveredImage || deliveredImage->isNull())
      fail(QStringLiteral("The delivered capture image is missing"));
    return *deliveredImage;
  }
};

void frozenCropGeometry(const QImage &fixture) {
  const CaptureSnapshot primary = primarySnapshot(fixture);
  expect(primary.pixelRect({-480, -470, 120, 70}) == QRect(40, 60, 240, 140),
         QStringLiteral("Frozen crop maps an offset HiDPI display from bottom-left points to top-left pixels"));

  const QImage dropdown = primary.crop({-480, -470, 120, 70});
  const QColor inside = colorAt(dropdown, 120, 70);
  expect(dropdown.size() == QSize(240, 140) && inside.greenF() > 0.9 && inside.redF() < 0.1,
         QStringLiteral("Frozen crop preserves the dropdown pixels, native resolution and orientation"));

  const QImage whole = primary.crop(primary.screenFrame);
  expect(colorAt(whole, 700, 50).redF() > 0.9 && colorAt(whole, 50, 550).blueF() > 0.9,
         QStringLiteral("Detached full-display crop preserves every corner without vertical inversion"));

  expect(primary.pixelRect({-510, -220, 30, 30}) == QRect(0, 560, 40, 40),
         QStringLiteral("Frozen crop clips against the original display boundary"));

  // Edges at 0.5, 7.5, 588.5 and 599.5 pixels, each rounded on its own.
  expect(primary.pixelRect({-499.75, -205.75, 3.5, 5.5}) == QRect(1, 589, 7, 11),
         QStringLiteral("Crop rounds fractional pixel edges once"));

  bool refused = false;
  try {
    primary.crop({900, -940, 40, 40});
  } catch (const std::exception &) {
    refused = true;
  }
  expect(refused, QStringLiteral("Out-of-display selection cannot produce a different desktop frame"));
}

void captures(const QImage &fixture) {
  CaptureLog log;
  CaptureCoordinator coordinator(
      [&log](QObject *receiver, CaptureSnapshot::Completion done) {
        ++log.requests;
        log.pending = std::move(done);
        log.pendingReceiver = receiver;
        return SnapshotRequest();
      },
      [&log](const geom::Rect &contentRect) -> std::shared_ptr<CapturePanel> {
        auto panel = std::make_shared<SilentCapturePanel>(contentRect);
        panel->onPresent = [&log] { log.dropdownOpen = false; };
        log.panels.push_back(panel);
        return panel;
      });
  coordinator.setOnImage(nullptr, [&log](const QImage &image, const CaptureSource &) {
    ++log.deliveries;
    log.deliveredImage = image;
  });
  const auto idle = [&coordinator] { return coordinator.phase() == Phase::idle; };
  const auto waiting = [&log] { return bool(log.pending); };
  const CaptureSnapshot primary = primarySnapshot(fixture);
  const CaptureSnapshot secondary = secondarySnapshot(fixture);

  // One capture end to end, started by a repeated shortcut.
  coordinator.begin();
  coordinator.begin();
  wait(QStringLiteral("One capture preparation starts even when the shortcut repeats"), waiting);
  expect(log.requests == 1 && log.panels.empty() && log.dropdownOpen,
         QStringLiteral("No selector can change focus or dismiss a dropdown before its pixels are saved"));
  log.resume({primary});
  wait(QStringLiteral("Selection is presented only after the frozen frame exists"),
       [&log] { return log.panels.size() == 1 && log.panels[0]->presented; });

  SilentCapturePanel &first = log.panel(0);
  RegionSelectionView &firstView = log.view(0);
  const QPointer<RegionSelectionView> firstSelector(&firstView);
  expect(!log.dropdownOpen && !firstView.testAttribute(Qt::WA_TransparentForMouseEvents) &&
             firstView.testAttribute(Qt::WA_OpaquePaintEvent),
         QStringLiteral("Opaque selection owns the first mouse press while underlying dropdown state may change"));

  sendMouse(firstView, QEvent::MouseButtonRelease, Qt::LeftButton, {140, 30});
  expect(log.deliveries == 0 && !idle(), QStringLiteral("A stray release without a selection is ignored"));

  sendMouse(firstView, QEvent::MouseButtonPress, Qt::LeftButton, {20, 100});
  sendMouse(firstView, QEvent::MouseMove, Qt::LeftButton, {140, 30});
  const QImage drawn = firstView.grab().toImage();
  if (drawn.isNull() || firstView.width() <= 0 || firstView.height() <= 0)
    fail(QStringLiteral("The selection view could not be drawn"));
  const QColor shown =
      colorAt(drawn, int(80.0 / firstView.width() * drawn.width()), int(65.0 / firstView.height() * drawn.height()));
  expect(
      shown.greenF() > 0.9 && shown.redF() < 0.1,
      QStringLiteral("Selector renders frozen dropdown pixels instead of a transparent hole onto the changed desktop"));

  sendMouse(firstView, QEvent::MouseButtonRelease, Qt::LeftButton, {140, 30});
  sendMouse(firstView, QEvent::MouseButtonRelease, Qt::LeftButton, {140, 30});
  expect(first.presented && log.deliveries == 0 && !idle(),
         QStringLiteral("Input shield survives the completing mouseUp handler without dispatching a second capture"));
  wait(QStringLiteral("Capture delivers once after release dispatch returns"), [&log] { return log.deliveries == 1; });
  const QImage &dropdown = log.image();
  expect(log.requests == 1 && dropdown.size() == QSize(240, 140) && colorAt(dropdown, 120, 70).greenF() > 0.9,
         QStringLiteral("Mouse release crops the displayed dropdown frame without any second screen capture"));
  // The view may already be gone, which releases its callback too.
  expect(idle() && !first.presented && !first.contentView() && (!firstSelector || !firstSelector->complete),
         QStringLiteral("Completion releases selector windows, callbacks and full-screen frame ownership"));

  // Cancelled while the stills are still being taken.
  coordinator.begin();
  wait(QStringLiteral("A second capture requests a fresh frame"), waiting);
  coordinator.cancel();
  log.resume({primary});
  settle();
  expect(idle() && log.panels.size() == 1 && log.deliveries == 1,
         QStringLiteral("Cancelled preparation cannot resurrect selectors or deliver stale pixels"));

  // Restarted, then cancelled with a right click.
  coordinator.begin();
  wait(QStringLiteral("Capture can restart after preparation cancellation"), waiting);
  log.resume({primary});
  wait(QStringLiteral("Restarted selector becomes ready"), [&log] { return log.panels.size() == 2; });
  SilentCapturePanel &second = log.panel(1);
  RegionSelectionView &secondView = log.view(1);
  const bool consumed = sendMouse(secondView, QEvent::MouseButtonPress, Qt::RightButton, {30, 270});
  expect(consumed && second.presented,
         QStringLiteral("Right-click cancellation consumes the press without exposing the underlying app"));
  sendMouse(secondView, QEvent::MouseButtonRelease, Qt::RightButton, {30, 270});
  expect(second.presented, QStringLiteral("Right-click cancellation also retains the shield during release"));
  wait(QStringLiteral("Right-click cancellation finishes without creating an editor"),
       [&] { return idle() && log.deliveries == 1; });
  expect(log.deliveries == 1 && !second.contentView(),
         QStringLiteral("Cancelled selection releases its frozen frame without exporting"));

  // Two displays, each with its own selector.
  coordinator.begin();
  wait(QStringLiteral("A new multi-display session starts"), waiting);
  log.resume({primary, secondary});
  wait(QStringLiteral("All saved displays receive independent selectors"), [&] {
    return log.panels.size() == 4 && log.panels[2]->presented && log.panels[3]->presented &&
           log.panels[2]->frame() == primary.screenFrame && log.panels[3]->frame() == secondary.screenFrame;
  });
  SilentCapturePanel &third = log.panel(2);
  SilentCapturePanel &fourth = log.panel(3);
  RegionSelectionView &fourthView = log.view(3);
  sendMouse(fourthView, QEvent::MouseButtonPress, Qt::LeftButton, {50, 550});
  sendMouse(fourthView, QEvent::MouseButtonRelease, Qt::LeftButton, {51, 549});
  expect(!idle() && fourth.presented && log.deliveries == 1,
         QStringLiteral("An undersized selection keeps the frozen desktop and permits another drag"));
  sendMouse(fourthView, QEvent::MouseButtonPress, Qt::LeftButton, {20, 580});
  sendMouse(fourthView, QEvent::MouseButtonRelease, Qt::LeftButton, {120, 500});
  wait(QStringLiteral("Selection on another display produces one image"), [&log] { return log.deliveries == 2; });
  const QImage &lower = log.image();
  expect(lower.size() == QSize(100, 80) && colorAt(lower, 50, 40).blueF() > 0.9,
         QStringLiteral("A standard-density secondary display crops its own frame, scale and bottom-left selection"));
  expect(!third.presented && !fourth.presented && !third.contentView() && !fourth.contentView(),
         QStringLiteral("Completing on one display releases every display's frozen frame"));

  // Escape.
  coordinator.begin();
  wait(QStringLiteral("Escape cancellation session starts"), waiting);
  log.resume({primary});
  wait(QStringLiteral("Escape cancellation selector becomes ready"), [&log] { return log.panels.size() == 5; });
  pressEscape(log.view(4));
  wait(QStringLiteral("Escape cancels a frozen selection"), idle);
  expect(log.deliveries == 2, QStringLiteral("Escape cannot save or reopen the dismissed selection"));

  // Cancelled after the selection completed, before its delivery ran.
  coordinator.begin();
  wait(QStringLiteral("Pending-release cancellation session starts"), waiting);
  log.resume({primary});
  wait(QStringLiteral("Pending-release selector becomes ready"), [&log] { return log.panels.size() == 6; });
  SilentCapturePanel &sixth = log.panel(5);
  RegionSelectionView &sixthView = log.view(5);
  sendMouse(sixthView, QEvent::MouseButtonPress, Qt::LeftButton, {20, 280});
  sendMouse(sixthView, QEvent::MouseButtonRelease, Qt::LeftButton, {120, 200});
  const bool queued = coordinator.phase() == Phase::finishing;
  coordinator.cancel();
  settle();
  expect(queued && idle() && log.deliveries == 2 && !sixth.contentView(),
         QStringLiteral("Cancelling a queued completion cannot reopen an editor after the session ends"));
}

} // namespace

CaptureCoordinator::Snapshots denyingSnapshots() {
  return [](QObject *receiver, CaptureSnapshot::Completion done) {
    QTimer::singleShot(0, receiver,
                       [done = std::move(done)] { done({}, std::make_exception_ptr(SnapshotError::readRefused())); });
    return SnapshotRequest();
  };
}

void permissionChecks(CaptureCoordinator::Snapshots denying) {
  int permissionRequests = 0;
  int errors = 0;
  bool overlayRequested = false;
  // Records the call instead of failing inside the coordinator, which would
  // leave it half way through presenting.
  CaptureCoordinator coordinator(std::move(denying), [&overlayRequested](const geom::Rect &) {
    overlayRequested = true;
    return std::shared_ptr<CapturePanel>();
  });
  coordinator.setOnPermissionRequired(nullptr, [&permissionRequests] { ++permissionRequests; });
  coordinator.setOnError(nullptr, [&errors](const std::exception_ptr &) { ++errors; });
  coordinator.begin();
  const bool returned =
      NativeTests::pumpUntil([&] { return coordinator.phase() == Phase::idle && permissionRequests > 0; }, 3000, 5);
  if (overlayRequested)
    fail(QStringLiteral("Permission failure must not create an overlay"));
  expect(returned, QStringLiteral("X server denial returns through the existing permission flow"));
  expect(permissionRequests == 1 && errors == 0,
         QStringLiteral("Permission denial is distinct from capture and display errors"));
}

void run() {
  const QImage fixture = quadrantFixture();
  frozenCropGeometry(fixture);
  captures(fixture);
  permissionChecks(denyingSnapshots());
}

} // namespace crel::CaptureTests
