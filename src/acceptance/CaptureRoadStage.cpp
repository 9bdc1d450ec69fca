// The capture road: the fixture verified as a real foreign window, the real
// hot key, a drag over the frozen display, the editor and its saved PNG.
#include "AcceptanceRun.h"
#include "Fixture.h"
#include "app/AppDelegate.h"
#include "app/ShortcutManager.h"
#include "capture/CaptureSource.h"
#include "capture/RegionSelectionView.h"
#include "capture/ScreenCapturePanel.h"
#include "document/CrelDocument.h"
#include "editor/EditorController.h"
#include "platform/image/ImageDecoder.h"
#include "selfcheck/Check.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QScreen>

namespace crel::acceptance {

namespace {

const QString fixtureTitle = QStringLiteral("Crel acceptance fixture");

// The keys a person holds for the shortcut, modifiers first.
std::vector<quint32> modifierKeysyms(quint32 modifiers) {
  std::vector<quint32> keys;
  if (modifiers & CaptureShortcut::command)
    keys.push_back(0xffe3); // Control_L
  if (modifiers & CaptureShortcut::shift)
    keys.push_back(0xffe1); // Shift_L
  if (modifiers & CaptureShortcut::option)
    keys.push_back(0xffe9); // Alt_L
  if (modifiers & CaptureShortcut::control)
    keys.push_back(0xffeb); // Super_L
  return keys;
}

void activateFixture(RunState &run, const QString &failure) {
  run.fixture.command("activate", "ACTIVE");
  run.server.activate(run.fixture.titledWindow());
  wait(failure, [&] { return run.server.frontmostPid() == run.fixture.pid(); });
}

ScreenCapturePanel *selectionPanel(const QRect &containing = {}) {
  for (QWidget *widget : QApplication::topLevelWidgets()) {
    auto *panel = qobject_cast<ScreenCapturePanel *>(widget);
    if (!panel || !panel->isVisible() || !panel->findChild<RegionSelectionView *>())
      continue;
    if (containing.isNull() || panel->frame().contains(geom::Rect::fromQRectF(QRectF(containing))))
      return panel;
  }
  return nullptr;
}

void prepareFixture(RunState &run) {
  run.fixture.launch(run.fixtureDir);
  run.cleanup.push([&run] { run.fixture.terminate(); });
  run.fixture.command("unhide", "SHOWN");
  activateFixture(run, QStringLiteral("Fixture did not become active"));
  pause(500);
}

// Refuses the capture unless the fixture is the titled window it should be,
// covering the capture rectangle, and the shortcut is live.
void verifyFixture(RunState &run, const QRect &capture) {
  const RunningApplication application{run.fixture.pid(), QString(), run.fixture.titledWindow()};
  expect(CaptureSource::current(application).windowTitle == fixtureTitle,
         QStringLiteral("Active window title is read from a real external application"));

  const std::optional<ServerWindow> window = run.server.find(run.fixture.pid(), fixtureTitle);
  if (!window || !window->viewable)
    NativeTests::fail(QStringLiteral("Fixture cannot be verified; refusing capture"));
  const QRect onScreen = capture.intersected(run.screen->geometry());
  expect(logicalRect(window->bounds, run.scale).contains(onScreen),
         QStringLiteral("Capture is confined to the controlled fixture window"));
  expect(run.delegate.shortcuts().isRegistered(),
         QStringLiteral("Application has registered its global shortcut with macOS"));
}

void selectCapture(RunState &run, const QRect &capture) {
  activateFixture(run, QStringLiteral("Fixture lost focus before the capture shortcut"));
  const CaptureShortcut &shortcut = run.delegate.shortcuts().current();
  run.input.key(shortcut.keyCode, modifierKeysyms(shortcut.modifiers));
  wait(QStringLiteral("Shortcut did not open region selection"), [] { return selectionPanel() != nullptr; });

  ScreenCapturePanel *panel = selectionPanel(capture);
  if (!panel)
    NativeTests::fail(QStringLiteral("No selector on fixture display"));
  QPointer<ScreenCapturePanel> selector(panel);
  panel->makeKey();
  panel->findChild<RegionSelectionView *>()->setFocus();
  // An override-redirect panel is never the active window: it is key while
  // it holds the keyboard.
  wait(QStringLiteral("Region selector did not become active"),
       [&] { return selector && selector->hasKeyboardGrab(); });

  run.fixture.command("hide", "HIDDEN");
  wait(QStringLiteral("Fixture did not hide before selection"),
       [&] { return !run.server.showsWindows(run.fixture.pid()); });
  // The still was frozen when the capture began, so the fixture's pixels
  // are still what the selection takes.
  if (selector)
    run.input.drag(QRectF(capture).topLeft(), QRectF(capture).bottomRight());
  wait(QStringLiteral("Capture did not open an editor"), [&] { return run.delegate.editors().size() == 1; });
}

void checkCapture(RunState &run) {
  run.editor = run.delegate.editors().front().get();
  run.document = &run.editor->document();
  // Written right after the editor's first frame.
  wait(QStringLiteral("Capture was not automatically saved"), [&] { return run.document->savedURL().has_value(); });
  run.savedPath = *run.document->savedURL();
  removeOnExit(run, run.savedPath);

  const QString name = QFileInfo(run.savedPath).fileName();
  expect(name.startsWith(fixtureTitle),
         QStringLiteral("Real capture filename uses the foreground window title (received: %1)").arg(name));
  expect(run.document->pixelSize() == QSize(400, 260) * run.scale,
         QStringLiteral("ScreenCaptureKit captures the selected region at display resolution"));

  QFile file(run.savedPath);
  if (!file.open(QIODevice::ReadOnly))
    NativeTests::fail(QStringLiteral("Could not read the saved capture: %1").arg(file.errorString()));
  run.savedBytes = file.readAll();
  const QImage image = QImage::fromData(run.savedBytes, "PNG");
  if (image.isNull())
    NativeTests::fail(QStringLiteral("The saved capture is not a PNG image"));
  const QColor centre = image.pixelColor(image.width() / 2, image.height() / 2).toRgb();
  expect(centre.greenF() > 0.5 && centre.redF() < 0.3 && centre.blueF() < 0.5,
         QStringLiteral("Saved PNG retains the frozen ScreenCaptureKit fixture after its source is hidden before "
                        "mouse release"));
  pause(400);
}

} // namespace

void captureRoad(RunState &run) {
  const QRect capture = captureRect();
  prepareFixture(run);
  verifyFixture(run, capture);
  selectCapture(run, capture);
  checkCapture(run);
}

} // namespace crel::acceptance
