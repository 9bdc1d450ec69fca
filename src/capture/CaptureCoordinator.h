#pragma once

#include "CapturePanel.h"
#include "CaptureSnapshot.h"
#include "CaptureSource.h"
#include "CaptureWindowSession.h"
#include "CropBuffer.h"
#include "ShareableContent.h"

#include <QImage>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QUuid>

#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace crel {

class WindowServerInfo;

// Runs one screen capture from the shortcut to the cropped image: freezes
// every display, shows one selection panel per display, crops the chosen
// rectangle, closes the panels and reports through one of three callbacks.
// At most one capture runs at a time; everything that comes back later is
// checked against the capture generation, so a cancelled or superseded
// capture never delivers. Main thread only.
class CaptureCoordinator final : public QObject {
  Q_OBJECT

public:
  enum class Phase { idle, preparing, selecting, finishing };
  Q_ENUM(Phase)

  // Freezes the displays: `done` runs later on `receiver`'s thread with the
  // snapshots or an error, and not at all once the request is cancelled.
  using Snapshots = std::function<SnapshotRequest(QObject *receiver, CaptureSnapshot::Completion done)>;

  using ImageCallback = std::function<void(const QImage &image, const CaptureSource &source)>;
  using ErrorCallback = std::function<void(const std::exception_ptr &error)>;
  using PermissionCallback = std::function<void()>;

  // Empty arguments mean the defaults: every display through the session's
  // snapshot provider, and on-screen panels (on a Wayland session, beside
  // them a managed key panel: see setKeyPanelFactory).
  explicit CaptureCoordinator(Snapshots snapshots = {}, CapturePanelFactory makePanel = {}, QObject *parent = nullptr);
  // Closes the panels of a capture still running: they hold the keyboard and
  // would otherwise stay over every display with nobody to take them down.
  ~CaptureCoordinator() override;

  static Snapshots defaultSnapshots();

  // Starts a capture when idle; otherwise does nothing.
  void begin();
  // Destroys the panels of the last capture that delivered an image. They
  // are hidden and closed at the delivery, but destroying a display-sized
  // window costs the main thread more than the editor's whole first frame,
  // which should come first: call this once that frame is out. A new
  // capture, or panelTeardownDelayMs after the delivery, destroys them anyway.
  void tearDownPanels();
  static constexpr int panelTeardownDelayMs = 2000;
  // Ends a capture that is not idle without delivering anything.
  void cancel();
  Phase phase() const { return phase_; }
  const CaptureSource &source() const { return source_; }

  // Each callback runs only while its `owner` lives (no owner: always).
  void setOnImage(QObject *owner, ImageCallback callback);
  void setOnError(QObject *owner, ErrorCallback callback);
  void setOnPermissionRequired(QObject *owner, PermissionCallback callback);

  // Makes, when set, one more panel for each capture, which takes the
  // keyboard: the factory gets the rectangle of the display it should start
  // on, and the panel shows there whichever display it reports as placed.
  void setKeyPanelFactory(CapturePanelFactory makeKeyPanel) { makeKeyPanel_ = std::move(makeKeyPanel); }

  // Where the front application and window are read; the session's window
  // server unless set.
  void setWindowServer(WindowServerInfo *windowServer) { windowServer_ = windowServer; }

  // The displays we may read, for the shell's permission diagnostics. `done`
  // runs later on `receiver`'s thread; a declined permission arrives as an
  // error that CaptureSnapshot::isPermissionError recognises.
  static void availableContent(QObject *receiver,
                               std::function<void(ShareableContent content, std::exception_ptr error)> done);

  // The sentence for an error delivered to onError.
  static QString errorMessage(const std::exception_ptr &error);

Q_SIGNALS:
  void phaseChanged(crel::CaptureCoordinator::Phase phase);

private:
  template <typename F> struct Callback {
    QPointer<QObject> owner;
    bool owned = false;
    F function;
    bool callable() const { return function && (!owned || owner); }
  };

  void setPhase(Phase phase);
  void snapshotsArrived(const QUuid &generation, const std::optional<RunningApplication> &application,
                        std::vector<CaptureSnapshot> snapshots, std::exception_ptr error);
  void presentSelectors(const std::vector<CaptureSnapshot> &snapshots);
  // Gives `panel` a selection view of `snapshot`.
  void installView(CapturePanel &panel, const CaptureSnapshot &snapshot);
  std::shared_ptr<CapturePanel> presentKeyPanel(const std::vector<CaptureSnapshot> &snapshots,
                                                const CaptureSnapshot &start);
  void showAlone(const CapturePanel &keyPanel, const geom::Rect &display);
  void finish(std::optional<geom::Rect> rect, const CaptureSnapshot &snapshot);
  void endSelection(bool captured);
  // Hides and closes every panel; the caller decides when they are destroyed.
  std::vector<std::shared_ptr<CapturePanel>> closePanels();
  WindowServerInfo &windowServer();

  std::vector<std::shared_ptr<CapturePanel>> panels_;
  // The overlay ordered out under the key panel.
  std::shared_ptr<CapturePanel> coveredPanel_;
  // Closed panels of the last delivery, until tearDownPanels().
  std::vector<std::shared_ptr<CapturePanel>> closedPanels_;
  QTimer teardown_;
  CropBuffer cropBuffer_;
  std::optional<SnapshotRequest> pendingCapture_;
  QUuid generation_;
  CaptureSource source_;
  std::unique_ptr<CaptureWindowSession> windowSession_;
  Phase phase_ = Phase::idle;
  Snapshots snapshots_;
  CapturePanelFactory makePanel_;
  CapturePanelFactory makeKeyPanel_;
  Callback<ImageCallback> onImage_;
  Callback<ErrorCallback> onError_;
  Callback<PermissionCallback> onPermissionRequired_;
  WindowServerInfo *windowServer_ = nullptr;
};

} // namespace crel
