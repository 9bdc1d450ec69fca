#include "CaptureCoordinator.h"

#include "RegionSelectionView.h"
#include "ScreenCapturePanel.h"
#include "document/CrelError.h"
#include "platform/base/Translate.h"
#include "platform/display/SnapshotProvider.h"
#include "platform/display/WindowServerInfo.h"
#include "platform/display/X11RootGrabber.h"

#include <QCursor>
#include <QTimer>

#include <algorithm>
#include <utility>

namespace crel {

CaptureCoordinator::CaptureCoordinator(Snapshots snapshots, CapturePanelFactory makePanel, QObject *parent)
    : QObject(parent), generation_(QUuid::createUuid()),
      snapshots_(snapshots ? std::move(snapshots) : defaultSnapshots()), makePanel_(std::move(makePanel)) {
  if (!makePanel_) {
    makePanel_ = ScreenCapturePanel::factory();
    // A native program keeps the keys from every overlay over it.
    if (SnapshotProvider::isWaylandSession(QProcessEnvironment::systemEnvironment()))
      makeKeyPanel_ = ScreenCapturePanel::factory(ScreenCapturePanel::Placement::managed);
  }
  teardown_.setSingleShot(true);
  teardown_.setInterval(panelTeardownDelayMs);
  connect(&teardown_, &QTimer::timeout, this, &CaptureCoordinator::tearDownPanels);
}

CaptureCoordinator::~CaptureCoordinator() {
  if (pendingCapture_)
    pendingCapture_->cancel();
  closePanels();
}

CaptureCoordinator::Snapshots CaptureCoordinator::defaultSnapshots() {
  // Made on first use: the provider needs the application's screens.
  auto provider = std::make_shared<std::unique_ptr<SnapshotProvider>>();
  return [provider](QObject *receiver, CaptureSnapshot::Completion done) {
    if (!*provider)
      *provider = SnapshotProvider::createDefault();
    return CaptureSnapshot::takeDisplays(**provider, receiver, std::move(done));
  };
}

void CaptureCoordinator::setOnImage(QObject *owner, ImageCallback callback) {
  onImage_ = {owner, owner != nullptr, std::move(callback)};
}

void CaptureCoordinator::setOnError(QObject *owner, ErrorCallback callback) {
  onError_ = {owner, owner != nullptr, std::move(callback)};
}

void CaptureCoordinator::setOnPermissionRequired(QObject *owner, PermissionCallback callback) {
  onPermissionRequired_ = {owner, owner != nullptr, std::move(callback)};
}

WindowServerInfo &CaptureCoordinator::windowServer() {
  return windowServer_ ? *windowServer_ : WindowServerInfo::system();
}

void CaptureCoordinator::setPhase(Phase phase) {
  if (phase_ == phase)
    return;
  phase_ = phase;
  Q_EMIT phaseChanged(phase);
}

void CaptureCoordinator::begin() {
  if (phase_ != Phase::idle)
    return;
  tearDownPanels();
  generation_ = QUuid::createUuid();
  setPhase(Phase::preparing);
  const QUuid generation = generation_;
  // Before any panel exists, so the panels cannot be what is in front.
  const std::optional<RunningApplication> application = windowServer().frontmostApplication();
  QPointer<CaptureCoordinator> self(this);
  SnapshotRequest request = snapshots_(
      this, [self, generation, application](std::vector<CaptureSnapshot> snapshots, std::exception_ptr error) {
        if (self)
          self->snapshotsArrived(generation, application, std::move(snapshots), error);
      });
  // A provider that answered at once has already moved on.
  if (generation_ == generation && phase_ == Phase::preparing)
    pendingCapture_ = request;
}

void CaptureCoordinator::snapshotsArrived(const QUuid &generation, const std::optional<RunningApplication> &application,
                                          std::vector<CaptureSnapshot> snapshots, std::exception_ptr error) {
  if (generation != generation_ || phase_ != Phase::preparing || (pendingCapture_ && pendingCapture_->isCancelled()))
    return;
  pendingCapture_.reset();
  if (!error && snapshots.empty())
    error = std::make_exception_ptr(CrelError::capture(crel::tr("No display is available to capture.")));
  if (error) {
    setPhase(Phase::idle);
    if (CaptureSnapshot::isPermissionError(error)) {
      if (onPermissionRequired_.callable())
        onPermissionRequired_.function();
    } else if (onError_.callable()) {
      onError_.function(error);
    }
    return;
  }
  source_ = CaptureSource::current(application, windowServer());
  setPhase(Phase::selecting);
  presentSelectors(snapshots);
}

void CaptureCoordinator::presentSelectors(const std::vector<CaptureSnapshot> &snapshots) {
  windowSession_ = std::make_unique<CaptureWindowSession>(CaptureWindowSession::applicationWindows());
  std::size_t largest = 0;
  for (const CaptureSnapshot &snapshot : snapshots)
    if (snapshot.image.depth() == 32)
      largest = std::max(largest, std::size_t(snapshot.image.width()) * std::size_t(snapshot.image.height()) * 4);
  if (largest > 0)
    cropBuffer_.prepare(largest);
  for (const CaptureSnapshot &snapshot : snapshots) {
    std::shared_ptr<CapturePanel> panel = makePanel_(snapshot.screenFrame);
    if (!panel)
      continue;
    installView(*panel, snapshot);
    panels_.push_back(panel);
    panel->present();
  }
  if (panels_.empty()) {
    // Nothing to select on, and nothing the user could cancel.
    endSelection(false);
    if (onError_.callable())
      onError_.function(std::make_exception_ptr(CrelError::capture(crel::tr("No display is available to capture."))));
    return;
  }
  // The panel under the pointer takes the keyboard; with the pointer over
  // none, the first does, so Escape works from the start.
  const QPointF pointer = QCursor::pos();
  auto key = std::find_if(panels_.begin(), panels_.end(), [&](const auto &p) { return p->frame().contains(pointer); });
  std::shared_ptr<CapturePanel> keyPanel = key != panels_.end() ? *key : panels_.front();
  if (makeKeyPanel_ && keyPanel->contentView())
    if (std::shared_ptr<CapturePanel> panel = presentKeyPanel(snapshots, keyPanel->contentView()->snapshot()))
      keyPanel = std::move(panel);
  keyPanel->makeKey();
}

void CaptureCoordinator::installView(CapturePanel &panel, const CaptureSnapshot &snapshot) {
  auto *view = new RegionSelectionView(snapshot);
  QPointer<CaptureCoordinator> self(this);
  view->complete = [self, snapshot](std::optional<geom::Rect> rect) {
    if (self)
      self->finish(rect, snapshot);
  };
  panel.setContentView(view);
}

// Where it shows, the key panel shows the display it covers.
std::shared_ptr<CapturePanel> CaptureCoordinator::presentKeyPanel(const std::vector<CaptureSnapshot> &snapshots,
                                                                  const CaptureSnapshot &start) {
  std::shared_ptr<CapturePanel> panel = makeKeyPanel_(start.screenFrame);
  if (!panel)
    return nullptr;
  installView(*panel, start);
  CapturePanel *placedPanel = panel.get();
  QPointer<CaptureCoordinator> self(this);
  panel->placed = [self, placedPanel, snapshots](const geom::Rect &frame) {
    const auto covered = std::find_if(snapshots.begin(), snapshots.end(),
                                      [&](const CaptureSnapshot &s) { return s.screenFrame.contains(frame.center()); });
    if (!self || self->phase_ != Phase::selecting || covered == snapshots.end())
      return;
    const RegionSelectionView *view = placedPanel->contentView();
    if (view && !view->isCompleted() && view->snapshot().screenFrame != covered->screenFrame)
      self->installView(*placedPanel, *covered);
    self->showAlone(*placedPanel, covered->screenFrame);
  };
  panels_.push_back(panel);
  panel->present();
  return panel;
}

// X11 gives the pointer to the topmost of its windows under it, and the key
// panel maps above the overlay of its display, whatever the compositor draws
// on top: there it shows alone, so a drag lands where it is seen. The
// overlay it covered comes back when it moves on; one being dragged on stays.
void CaptureCoordinator::showAlone(const CapturePanel &keyPanel, const geom::Rect &display) {
  const std::shared_ptr<CapturePanel> covered = std::exchange(coveredPanel_, nullptr);
  for (const std::shared_ptr<CapturePanel> &panel : panels_) {
    const RegionSelectionView *view = panel->contentView();
    if (panel.get() == &keyPanel || panel->frame() != display || (view && view->selection()))
      continue;
    if (panel != covered)
      panel->orderOut();
    coveredPanel_ = panel;
  }
  if (covered && covered != coveredPanel_)
    covered->present();
}

void CaptureCoordinator::finish(std::optional<geom::Rect> rect, const CaptureSnapshot &snapshot) {
  if (phase_ != Phase::selecting)
    return;
  setPhase(Phase::finishing);
  QImage image;
  std::exception_ptr error;
  if (rect) {
    try {
      image = snapshot.crop(*rect, &cropBuffer_);
    } catch (...) {
      error = std::current_exception();
    }
  }
  const bool captured = rect && !error;
  const QUuid generation = generation_;
  // After the panel's event handling has returned; the panels keep covering
  // the displays until then.
  QTimer::singleShot(0, this, [this, generation, captured, image, error] {
    if (generation != generation_)
      return;
    if (error) {
      endSelection(false);
      if (onError_.callable())
        onError_.function(error);
    } else if (captured) {
      endSelection(true);
      if (onImage_.callable())
        onImage_.function(image, source_);
    } else {
      endSelection(false);
    }
  });
}

std::vector<std::shared_ptr<CapturePanel>> CaptureCoordinator::closePanels() {
  std::vector<std::shared_ptr<CapturePanel>> panels = std::move(panels_);
  panels_.clear();
  for (const auto &panel : panels) {
    if (RegionSelectionView *view = panel->contentView())
      view->complete = nullptr;
    panel->placed = nullptr;
    panel->orderOut();
    panel->close();
    panel->removeContentView();
  }
  return panels;
}

void CaptureCoordinator::tearDownPanels() {
  teardown_.stop();
  closedPanels_.clear();
}

void CaptureCoordinator::endSelection(bool captured) {
  coveredPanel_.reset();
  for (const auto &panel : panels_)
    panel->captureWillEnd(captured);
  std::vector<std::shared_ptr<CapturePanel>> closed = closePanels();
  // Nothing follows a capture without an image: its panels go now. Those of
  // the last delivery went when this capture began.
  if (captured) {
    closedPanels_ = std::move(closed);
    teardown_.start();
  }
  cropBuffer_.drop();
  if (std::unique_ptr<CaptureWindowSession> session = std::move(windowSession_))
    session->restore(captured);
  setPhase(Phase::idle);
}

void CaptureCoordinator::cancel() {
  if (phase_ == Phase::idle)
    return;
  generation_ = QUuid::createUuid();
  if (pendingCapture_) {
    pendingCapture_->cancel();
    pendingCapture_.reset();
  }
  endSelection(false);
}

void CaptureCoordinator::availableContent(QObject *receiver,
                                          std::function<void(ShareableContent, std::exception_ptr)> done) {
  QPointer<QObject> guard(receiver);
  QMetaObject::invokeMethod(
      receiver,
      [guard, done = std::move(done)] {
        if (!guard)
          return;
        ShareableContent content;
        std::exception_ptr error;
        try {
          X11RootGrabber grabber;
          content = ShareableContent::current(grabber);
        } catch (...) {
          error = std::current_exception();
        }
        done(std::move(content), error);
      },
      Qt::QueuedConnection);
}

QString CaptureCoordinator::errorMessage(const std::exception_ptr &error) {
  if (!error)
    return {};
  return CrelError::describe(error, crel::tr("The display could not be captured. Start a new capture."));
}

} // namespace crel
