#pragma once

#include "document/EditorSize.h"

#include <QObject>
#include <QPointer>
#include <QRect>
#include <QTimer>

#include <functional>
#include <memory>
#include <vector>

class QAction;
class QImage;
class QMenu;
class QWindow;

namespace crel {

class CrelDocument;
class EditorSizePreferences;
class EditorView;
class EditorWindow;
class FileRevealer;
class KeyMonitor;
struct CaptureSource;

// Owns one document and the top-level window that edits it: keeps the
// window's title, file path and modified mark in step with the document,
// sizes the window by the shared editor-size preference (a size chosen in
// one editor resizes every editor), offers the size menu the canvas's
// context menu starts with, and runs the editor's key monitor while the
// window is open. It copies and closes, shows the saved file in its folder,
// moves the saving to another folder, and decides whether the window may
// close: a document that is not cleanly saved (written, unchanged since, no
// save error) is closed only after the user agreed in the discard prompt.
class EditorController : public QObject {
  Q_OBJECT
public:
  EditorController(std::unique_ptr<CrelDocument> document, EditorSizePreferences &sizePreferences,
                   QObject *parent = nullptr);
  // A new capture or opened image: a document over the shared annotation
  // preferences, in a window of the shared editor size, saved into
  // `directory` under a name made from `source` and the current time right
  // after the window's first frame (a failed save leaves it unsaved).
  static std::unique_ptr<EditorController> open(const QImage &image, const CaptureSource &source,
                                                const QString &directory);
  ~EditorController() override;

  CrelDocument &document() const { return *document_; }
  // Absent only while the controller is being torn down.
  EditorWindow *window() const { return window_.get(); }
  EditorView *view() const { return view_; }
  // The shared size preference this editor follows.
  EditorSizePreferences &sizePreferences() const { return sizePreferences_; }

  // Restores a minimised window, shows it, raises it and activates it.
  void present();
  // The first showing of a window that had its place before (an update's
  // relaunch): its client area is `clientArea`, also once the window manager
  // has framed it, instead of the centred opening place.
  void presentAt(const QRect &clientArea);
  // Gives the client area `size`, keeping the frame's horizontal centre and
  // top edge inside the screen's available area. Nothing for a maximised or
  // full-screen window.
  void applyWindowSize(EditorSize size);
  // A new menu: the heading "Editor size", the three sizes (the preferred
  // one checked, enabled only for a normal window) and, for a maximised or
  // full-screen window, a note that it must be restored first.
  std::unique_ptr<QMenu> windowSizeMenu();
  // A size item's action: commits an open text edit, stores the choice
  // (every editor follows) and applies it here.
  void chooseWindowSize(const QAction &item);

  // Puts the flattened PNG on the clipboard and closes the window once it
  // is there (before returning, unless the clipboard needs the event loop
  // to tell); a copy that fails, or is not taken, shows its error and keeps
  // the window. A successful copy emits copied() in any case, after
  // closed() when the window did close.
  void copyImage();
  // Writes a pending change and shows the saved file in the file manager;
  // an error when the file has gone.
  void reveal();
  // Lets the user pick another folder to save into (a folder dialog on the
  // window). `completion`, when given, hears exactly once whether the
  // document now saves there; false at once while the window has a dialog.
  void chooseFolder(std::function<void(bool)> completion = {});
  // The message in the document's status and in an alert on the window.
  void showError(const QString &message);
  // The window's close rule (its close request asks it): an open text edit
  // is committed; approved or cleanly saved documents close, otherwise the
  // discard prompt decides and closes the window again on its approval.
  bool windowShouldClose();
  // Asks whether a document that is not cleanly saved may be discarded:
  // Choose Folder…, Discard or Cancel. `completion` hears exactly once true
  // (may close) or false (keep editing), also when the controller or its
  // window goes away first (false). While the question is up, a second
  // call hears its answer; while another dialog is up, the question waits
  // until that dialog is gone.
  void confirmDiscard(std::function<void(bool)> completion);

  bool closingApproved() const { return closingApproved_; }
  bool closedByCopy() const { return closedByCopy_; }
  // Where reveal() sends the file; the desktop's file manager by default.
  void setFileRevealer(FileRevealer *revealer) { revealer_ = revealer; }

  // The document is written, unchanged since and without a save error.
  static bool cleanlySaved(const CrelDocument &document);

  // When a new capture's window shows no frame, its first save waits no
  // longer than this.
  static constexpr int firstSaveWithoutFrameMs = 150;

Q_SIGNALS:
  // The window has closed, reported from within the close itself: when a
  // copy or a menu item returns, its editor is already gone from its
  // owner's list. An owner drops the controller with deleteLater(), since
  // the window is still finishing its close.
  void closed(crel::EditorController *controller);
  // After every successful copyImage(), when the copy is placed; after
  // closed() when the window did close.
  void copied();
  // Once, on the turn of the event loop after the canvas's first frame was
  // handed to the display: work that would delay that frame can start now.
  void firstFrameShown();

protected:
  bool eventFilter(QObject *watched, QEvent *event) override;

private:
  bool windowIsNormal() const;
  // Centred on its screen at the preferred size.
  void placeOnScreen();
  // The frame's size less the client area's: the window manager's title bar
  // and borders. Until it has decorated this window, those it gave the last
  // editor, since it adds them only after the window is shown.
  QSize decorations() const;
  void updateWindowState();
  void windowWillClose();
  // Shows the discard question, or answers the askers at once when there
  // is nothing to lose.
  void askDiscard();
  void saveAfterFirstFrame();
  // `window` is this editor's window or one of its dialogs and popups.
  bool owns(const QWindow *window) const;
  void releaseCacheInBackground();

  std::unique_ptr<CrelDocument> document_;
  EditorSizePreferences &sizePreferences_;
  std::unique_ptr<EditorWindow> window_;
  EditorView *view_ = nullptr;
  std::unique_ptr<KeyMonitor> keyMonitor_;
  QTimer stateUpdate_;
  // How long after the first show a late frame still re-places the window.
  static constexpr int frameWaitMs = 2000;
  QTimer firstSave_;
  // Armed when the window goes to the background or is hidden: the canvas's
  // cache, the size of the window and more, is then given up. The editor
  // last in front keeps it while another program is, so coming back costs
  // nothing.
  QTimer backgroundCache_;
  static constexpr int backgroundCacheMs = 4000;
  bool lastInFront_ = false;
  bool shownOnce_ = false, awaitingFrame_ = false, painted_ = false;
  bool closingApproved_ = false, closedByCopy_ = false;
  // Everyone waiting for the discard question's answer, first asker first.
  std::vector<std::function<void(bool)>> askers_;
  FileRevealer *revealer_ = nullptr;
};

} // namespace crel
