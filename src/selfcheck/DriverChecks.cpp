#include "DriverChecks.h"

#include "Check.h"
#include "Fixtures.h"
#include "PixelProbe.h"
#include "SuiteContext.h"
#include "SyntheticKeyboard.h"

#include "ToolLists.h"
#include "app/ImageOpening.h"
#include "app/ShortcutManager.h"
#include "platform/shortcuts/HotKeyBackend.h"

#include "capture/CaptureSnapshot.h"
#include "document/CrelDocument.h"
#include "document/MarkGeometry.h"
#include "document/MarkPaths.h"
#include "platform/clipboard/Pasteboard.h"
#include "platform/display/SnapshotError.h"
#include "platform/files/FileError.h"

#include <QFileInfo>
#include <QObject>

#include <cerrno>
#include <cmath>

namespace crel::NativeTests {

namespace {

// The mark each drawing tool commits in the round trip.
Mark testMark(MarkTool tool) {
  Mark mark = NativeTests::checkMark(tool, {60, 50}, {220, 160}, 6);
  if (tool == MarkTool::pen)
    mark.points = {{60, 50}, {140, 160}, {220, 50}};
  mark.text = QStringLiteral("Hello screenshot");
  return mark;
}

// The mark the move and save checks commit.
Mark moveMark() {
  Mark mark = NativeTests::checkMark(MarkTool::arrow, {100, 100}, {400, 300}, 4);
  mark.ink = paletteInk(1);
  return mark;
}

// Strongly red pixels (the first palette ink) in the region the test mark covers.
int redPixelsNearTopLeft(const QImage &image) {
  int count = 0;
  for (int y = 30; y <= 199; ++y)
    for (int x = 40; x <= 419; ++x) {
      const QColor c = colorAt(image, x, y);
      if (c.redF() > 0.7 && c.greenF() < 0.5)
        ++count;
    }
  return count;
}

void documentChecks(CrelDocument &document) {
  expect(document.pixelSize() == QSize(800, 600), QStringLiteral("Original pixel resolution retained"));
  expect(document.isDirty(), QStringLiteral("New capture is unsaved"));
  const QImage exported = decodePNG(document.renderPNG(), QStringLiteral("The driver document's export"));
  expect(colorAt(exported, 400, 580).redF() < colorAt(exported, 400, 20).redF(),
         QStringLiteral("Export preserves top/bottom source orientation"));
}

void perToolRoundTrip(CrelDocument &document) {
  for (const MarkTool tool : styleTools) {
    const QString name = label(tool);
    const Mark mark = testMark(tool);
    document.commit({mark});
    const QImage exported = decodePNG(document.renderPNG(), name + QStringLiteral(" export"));
    expect(exported.size() == QSize(800, 600), name + QStringLiteral(" exports full resolution"));
    expect(redPixelsNearTopLeft(exported) >= 11, name + QStringLiteral(" appears at intended top-left coordinates"));
    document.undo();
    expect(document.marks().isEmpty(), name + QStringLiteral(" undo restores source"));
    document.redo();
    expect(sameMarks(document.marks(), {mark}), name + QStringLiteral(" redo restores mark"));
    document.setSelection(mark.id);
    document.deleteSelection();
    expect(document.marks().isEmpty(), name + QStringLiteral(" selection deletion"));
  }
}

void moveAndRedoBranch(CrelDocument &document, const Mark &mark) {
  document.commit({mark});
  const Mark shifted = moved(mark, 20, -10);
  expect(geom::exactlyEqual(shifted.start, {120, 90}) && geom::exactlyEqual(shifted.end, {420, 290}),
         QStringLiteral("Move translates entire annotation"));

  document.commit({shifted});
  document.undo();
  document.commit({});
  expect(document.future().isEmpty(), QStringLiteral("New edit discards stale redo branch"));
}

void saveChecks(CrelDocument &document, const QString &exportPath, const Mark &mark) {
  document.save(exportPath);
  expect(QFileInfo::exists(exportPath) && document.savedMarks() &&
             sameMarks(*document.savedMarks(), document.marks()) && document.savedURL() == exportPath,
         QStringLiteral("Atomic save updates saved file and dirty state"));
  expect(ImageOpening::readImage(exportPath).size() == QSize(800, 600),
         QStringLiteral("Saved PNG reopens through actual image import"));
  document.commit({mark});
  expect(document.isDirty(), QStringLiteral("Editing saved image becomes dirty"));
  document.undo();
  expect(document.savedMarks() && sameMarks(*document.savedMarks(), document.marks()) && !document.isDirty(),
         QStringLiteral("Undo to saved revision clears dirty state"));
}

void failedSaveCheck(CrelDocument &document, const QDir &root, const QString &exportPath) {
  bool threw = false;
  try {
    document.save(root.filePath(QStringLiteral("missing/no.png")));
  } catch (const std::exception &) {
    threw = true;
  }
  expect(threw && document.savedURL() == exportPath, QStringLiteral("Failed save preserves last successful file"));
}

void pasteboardChecks(CrelDocument &document) {
  FakePasteboard pasteboard;
  document.copy(pasteboard);
  // Linux applications paste image/png; nothing converts it to TIFF on the
  // way (the X clipboard offers exactly the types written).
  expect(pasteboard.read(QStringLiteral("image/png")) == document.renderPNG(),
         QStringLiteral("Copy provides PNG to the clipboard"));
  expect(!pasteboard.readImage().isNull(), QStringLiteral("Native paste can consume copied screenshot"));
}

// A still of `frame` at `scale` pixels per point. Only its size matters to
// the mapping, so one bit a pixel is enough.
CaptureSnapshot geometryStill(const geom::Rect &frame, int scale) {
  const int width = int(frame.width()) * scale;
  const int height = int(frame.height()) * scale;
  QImage image(width, height, QImage::Format_Mono);
  if (image.isNull())
    fail(QStringLiteral("The %1 by %2 display still could not be created").arg(width).arg(height));
  return {1, frame, image};
}

// Frames and selections are global points with the origin at the top left,
// so a display above the primary one has a negative y.
void captureGeometryChecks() {
  const geom::Rect secondary(-1920, -880, 1920, 1080);
  const geom::Rect selection(-1800, -280, 320, 180);
  const QRect local = geometryStill(secondary, 1).pixelRect(selection);
  expect(local == QRect(120, 600, 320, 180),
         QStringLiteral("Secondary display and vertical offset coordinate conversion"));

  const QSize doubled(int(std::round(local.width() * 2.0)), int(std::round(local.height() * 2.0)));
  const QSize retina = geometryStill(secondary, 2).pixelRect(selection).size();
  expect(doubled == QSize(640, 360) && retina == doubled, QStringLiteral("HiDPI capture dimensions"));

  const QRect clipped = geometryStill({0, -100, 100, 100}, 1).pixelRect({-10, -30, 40, 40});
  expect(clipped == QRect(0, 70, 30, 30), QStringLiteral("Selection clips to display bounds"));
}

void permissionErrorChecks() {
  const auto permission = [](auto error) { return CaptureSnapshot::isPermissionError(std::make_exception_ptr(error)); };
  expect(permission(SnapshotError::readRefused()), QStringLiteral("X server permission denial is recognized"));
  expect(!permission(SnapshotError::failed()),
         QStringLiteral("Display failure is not misreported as missing permission"));
  // A permission error of another kind: a file we may not write.
  expect(!permission(FileError::savingFile(EACCES, QStringLiteral("/export.png"))),
         QStringLiteral("Unrelated errors do not open permission instructions"));
}

// Ctrl+Alt+Super+9.
const CaptureShortcut testShortcut{0x39, CaptureShortcut::control | CaptureShortcut::option | CaptureShortcut::command,
                                   QStringLiteral("9")};
constexpr quint32 controlKey = 0xffe3, altKey = 0xffe9, superKey = 0xffeb;

// Three managers on one store stand for the application and its relaunch;
// each grabs over a connection of its own, as another application would.
void hotKeyChecks(SuiteContext &context) {
  SettingsStore &defaults = context.shortcutDefaults();
  auto first = std::make_unique<ShortcutManager>(defaults);
  first->registerShortcut(testShortcut);
  expect(first->current() == testShortcut && first->isRegistered(),
         QStringLiteral("Global hotkey registers with operating system"));

  auto second = std::make_unique<ShortcutManager>(defaults);
  bool refused = false;
  try {
    second->registerShortcut(testShortcut);
  } catch (const std::exception &) {
    refused = true;
  }
  expect(refused, QStringLiteral("Occupied hotkey rejected without silently stealing it"));

  second.reset();
  first.reset();
  auto third = std::make_unique<ShortcutManager>(defaults);
  expect(third->current() == testShortcut, QStringLiteral("Custom hotkey survives manager relaunch"));
  third->registerShortcut(testShortcut);
  pass(QStringLiteral("Hotkey unregisters cleanly and can be registered after relaunch"));
  context.keepShortcutManager(std::move(third));
}

} // namespace

void driverChecks(SuiteContext &context) {
  CrelDocument &document = context.driverDocument();
  documentChecks(document);
  perToolRoundTrip(document);
  const Mark move = moveMark();
  moveAndRedoBranch(document, move);
  const QString exportPath = context.root().filePath(QStringLiteral("export.png"));
  saveChecks(document, exportPath, move);
  pasteboardChecks(document);
  failedSaveCheck(document, context.root(), exportPath);
  captureGeometryChecks();
  permissionErrorChecks();
  hotKeyChecks(context);
}

void driverHotKeyEvent(SuiteContext &context) {
  ShortcutManager *manager = context.shortcutManager();
  if (!manager)
    fail(QStringLiteral("Registered X11 hot-key event invokes capture callback exactly once"));
  int captures = 0;
  QObject owner;
  manager->setOnCapture(&owner, [&captures] { ++captures; });
  SyntheticKeyboard keyboard;
  keyboard.chord({controlKey, altKey, superKey, testShortcut.keyCode});
  pumpUntil([&captures] { return captures != 0; }, 2000, 20);
  // A second press arriving late would still count.
  pumpFor(20);
  expect(captures == 1, QStringLiteral("Registered X11 hot-key event invokes capture callback exactly once"));
}

} // namespace crel::NativeTests
