// Drawing, editing and saving in the capture's editor: the arrow drawn,
// selected and reshaped with real pointer input, every edit saved by the
// editor's own autosave, Undo and Redo from the main menu, a drag begun
// beside the screenshot that grows the saved PNG, Show in File Manager, and
// a second editor on the saved image.
#include "AcceptanceReads.h"
#include "AcceptanceRun.h"
#include "AcceptanceWait.h"
#include "FileManagerStub.h"
#include "app/AppDelegate.h"
#include "app/ImageOpening.h"
#include "canvas/CanvasView.h"
#include "capture/CaptureSource.h"
#include "document/CrelDocument.h"
#include "editor/EditorController.h"
#include "editor/EditorWindow.h"
#include "platform/desktop/FileRevealer.h"
#include "selfcheck/Check.h"
#include "selfcheck/Fixtures.h"

#include <QBuffer>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QFileInfo>
#include <QImageReader>
#include <QUrl>

#include <functional>

namespace crel::acceptance {

namespace {

// Posted pointer input arrives while the run pauses; a slow server gets a
// little longer before the check decides.
void settle(const std::function<bool()> &arrived) {
  for (int attempt = 0; attempt < 20 && !arrived(); ++attempt)
    pause(100);
}

bool saved(const CrelDocument &document) { return !document.isDirty(); }

// The session's file manager came to the front after the request: the
// active window, not the one active before, belongs to the owner of its bus
// name. The run's own stub must also have been asked for exactly `path`; any
// other owner (the desktop's file manager) is taken at its word.
bool fileManagerShows(RunState &run, const QString &path, quint32 activeBefore) {
  QDBusConnectionInterface *bus = QDBusConnection::sessionBus().interface();
  if (!bus)
    return false;
  const QDBusReply<uint> owner = bus->servicePid(QString::fromLatin1(DesktopFileRevealer::service));
  const auto front = run.server.info(run.server.activeWindow());
  if (!owner.isValid() || !front || front->window == activeBefore || front->pid != qint64(owner.value()))
    return false;
  if (*front->pid != run.fixture.pid())
    return true;
  const QString uri = QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toString(QUrl::FullyEncoded);
  return front->title == FileManagerStub::title({uri});
}

} // namespace

void drawingEditingSaving(RunState &run) {
  if (!run.document || !run.canvas || !run.window)
    NativeTests::fail(QStringLiteral("Editor canvas missing"));
  CrelDocument &document = *run.document;
  CanvasView &canvas = *run.canvas;
  EditorWindow &window = *run.window;

  expect(document.marks().size() == 1 && document.marks().first().tool == MarkTool::arrow,
         QStringLiteral("Pointer events in the actual editor create an arrow"));
  run.referenceArrow = document.marks().first();
  const Mark &reference = *run.referenceArrow;
  // The select tool's letter: with a drawing tool a click on the arrow would
  // start a new mark rather than select it, and its handle could not be taken.
  sendKey(window, Qt::Key_V, shortcut(MarkTool::select));

  click(run, imagePoint(canvas, 0.45, 0.45));
  pause(100);
  const auto selected = [&] { return document.marks().size() == 1 && document.selection() == reference.id; };
  settle(selected);
  expect(selected(), QStringLiteral("Clicking the arrow selects it without creating another"));

  drag(run, imagePoint(canvas, 0.7, 0.6), imagePoint(canvas, 0.8, 0.35));
  pause(100);
  const auto reshaped = [&] {
    return !document.marks().isEmpty() && document.marks().first().end != reference.end &&
           document.marks().first().start == reference.start;
  };
  settle(reshaped);
  expect(reshaped(), QStringLiteral("Dragging an arrow handle reshapes it in the actual editor"));
  wait(QStringLiteral("Edits were not saved automatically"), [&] { return saved(document); });

  run.reshapedBytes = NativeTests::readFile(run.savedPath);
  expect(run.reshapedBytes != run.savedBytes, QStringLiteral("Editing automatically updates the original saved PNG"));

  performMenu(run, QStringLiteral("undoCurrent"), window);
  expect(!document.marks().isEmpty() && document.marks().first() == reference,
         QStringLiteral("Native Undo menu restores the arrow"));
  performMenu(run, QStringLiteral("redoCurrent"), window);
  expect(!document.marks().isEmpty() && !(document.marks().first() == reference),
         QStringLiteral("Native Redo menu restores its new shape"));

  document.selectTool(MarkTool::arrow);
  drag(run, imagePoint(canvas, -0.04, 0.12), imagePoint(canvas, 0.2, 0.15));
  wait(QStringLiteral("Drawing in the margin did not extend the canvas"),
       [&] { return document.expandedBounds(document.marks()).minX() < 0 && document.marks().size() == 2; });
  expect(document.marks().last().start.x() < 0,
         QStringLiteral("Real pointer events can begin an arrow outside the original screenshot"));
  wait(QStringLiteral("Expanded capture was not saved"), [&] { return saved(document); });

  QByteArray extended = NativeTests::readFile(run.savedPath);
  QBuffer buffer(&extended);
  const QSize written = QImageReader(&buffer).size();
  expect(written.isValid() && written.width() > document.pixelSize().width(),
         QStringLiteral("The actual automatic save includes the extended canvas"));

  const quint32 activeBefore = run.server.activeWindow();
  performMenu(run, QStringLiteral("revealCurrent"), window);
  wait(QStringLiteral("Open in Finder did not activate Finder"),
       [&] { return fileManagerShows(run, run.savedPath, activeBefore); });
  expect(QFileInfo(run.savedPath).isFile() && document.savedMarks() && *document.savedMarks() == document.marks(),
         QStringLiteral("Open in Finder activates Finder after flushing the saved image"));

  run.delegate.showEditor(ImageOpening::readImage(run.savedPath), CaptureSource{});
  if (run.delegate.editors().size() < 2)
    NativeTests::fail(QStringLiteral("Second editor did not open"));
  run.secondEditor = run.delegate.editors().back().get();
  wait(QStringLiteral("Second editor was not saved"),
       [&] { return run.secondEditor && run.secondEditor->document().savedURL().has_value(); });
  const std::optional<QString> &secondSaved = run.secondEditor->document().savedURL();
  if (!secondSaved)
    NativeTests::fail(QStringLiteral("Second editor was not saved"));
  run.secondSavedPath = *secondSaved;
  removeOnExit(run, run.secondSavedPath);
  wait(QStringLiteral("Second editor did not finish opening"),
       [&] { return run.secondEditor && isKeyWindow(run.secondEditor->window()); });
}

} // namespace crel::acceptance
