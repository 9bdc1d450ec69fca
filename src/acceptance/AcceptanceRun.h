#pragma once

#include "CleanupStack.h"
#include "FixtureProcess.h"
#include "SyntheticInput.h"
#include "WindowServer.h"
#include "document/Mark.h"

#include <QByteArray>
#include <QPointF>
#include <QPointer>
#include <QString>

#include <memory>
#include <optional>

class QScreen;
class QWidget;

namespace crel {
class AppDelegate;
class CanvasView;
class CrelDocument;
class EditorController;
class EditorWindow;
} // namespace crel

namespace crel::acceptance {

// What the stages of one acceptance run hand on to each other.
struct RunState {
  RunState(AppDelegate &delegate, QString fixtureDir);

  AppDelegate &delegate;
  // The fixture copy of the application.
  QString fixtureDir;
  FixtureProcess fixture;
  WindowServer server;
  // The first screen and its device pixel ratio.
  QScreen *screen = nullptr;
  qreal scale = 1;
  SyntheticInput input;

  // The editor the capture opened.
  QPointer<EditorController> editor;
  QPointer<EditorWindow> window;
  QPointer<CanvasView> canvas;
  QPointer<CrelDocument> document;
  // The capture's saved PNG and the bytes it held right after the capture.
  QString savedPath;
  QByteArray savedBytes;

  // Drawing, editing and saving: the arrow as first drawn, the saved PNG
  // after its reshape, and the editor opened on the saved image.
  std::optional<Mark> referenceArrow;
  QByteArray reshapedBytes;
  QPointer<EditorController> secondEditor;
  QString secondSavedPath;

  // Declared last: its steps run before anything above goes away.
  CleanupStack cleanup;
};

// The stretches of the run, in order.
void captureRoad(RunState &run);
void editorChrome(RunState &run);
void drawingEditingSaving(RunState &run);
void copyAndClose(RunState &run);

// A check as NativeTests::expect makes it, its sentence in Linux words.
void expect(bool condition, const QString &sentence);
// The Linux wording of a check's sentence; other sentences unchanged.
QString linuxWording(const QString &sentence);

// Lets the event loop run for `milliseconds`.
void pause(int milliseconds);
// The point at fractions (x, y) of the canvas's image rectangle, in
// logical global coordinates.
QPointF imagePoint(const CanvasView &canvas, double x, double y);
// Real pointer input at logical global points. Each returns once the
// application has received the press and the release.
void click(RunState &run, QPointF point);
void drag(RunState &run, QPointF from, QPointF to);
// A key press and release sent synchronously to the window's focus widget.
void sendKey(QWidget &window, int key, const QString &text = {});
// Performs the main-menu item `actionName` with `window` active.
void performMenu(RunState &run, const QString &actionName, QWidget &window);
// Removes the file on every exit from the run.
void removeOnExit(RunState &run, const QString &path);

} // namespace crel::acceptance
