#pragma once

#include "document/EditorSize.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <memory>

class QAction;
class QImage;
class QMenu;

namespace crel {

class CrelDocument;
class EditorSizePreferences;
class EditorView;
class EditorWindow;
class KeyMonitor;
struct CaptureSource;

// Owns one document and the top-level window that edits it: keeps the
// window's title, file path and modified mark in step with the document,
// sizes the window by the shared editor-size preference (a size chosen in
// one editor resizes every editor), offers the size menu the canvas's
// context menu starts with, and runs the editor's key monitor while the
// window is open.
class EditorController : public QObject {
  Q_OBJECT
public:
  EditorController(std::unique_ptr<CrelDocument> document, EditorSizePreferences &sizePreferences,
                   QObject *parent = nullptr);
  // A new capture or opened image: a document over the shared annotation
  // preferences, saved at once into `directory` under a name made from
  // `source` and the current time (a failed save leaves it unsaved), in a
  // window of the shared editor size.
  static std::unique_ptr<EditorController> open(const QImage &image, const CaptureSource &source,
                                                const QString &directory);
  ~EditorController() override;

  CrelDocument &document() const { return *document_; }
  // Absent only while the controller is being torn down.
  EditorWindow *window() const { return window_.get(); }
  EditorView *view() const { return view_; }

  // Restores a minimised window, shows it, raises it and activates it.
  void present();
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

Q_SIGNALS:
  // The window has closed (emitted on a later turn of the event loop); the
  // owner may drop the controller.
  void closed(crel::EditorController *controller);

private:
  bool windowIsNormal() const;
  // Centred on its screen at the preferred size.
  void placeOnScreen();
  void updateWindowState();
  void windowWillClose();

  std::unique_ptr<CrelDocument> document_;
  EditorSizePreferences &sizePreferences_;
  std::unique_ptr<EditorWindow> window_;
  EditorView *view_ = nullptr;
  std::unique_ptr<KeyMonitor> keyMonitor_;
  QTimer stateUpdate_;
  bool shownOnce_ = false;
};

} // namespace crel
