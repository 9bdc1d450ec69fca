// The harness end to end on a real X server: launches the fixture copy,
// finds its windows through the window server, hides and activates it, then
// drags and types into a widget of its own through XTest, beneath the
// fixture's shield. "--orphan" launches the fixture, prints its pid and
// kills this process, so the caller can see that the fixture dies with it.
#include "acceptance/AcceptanceLookups.h"
#include "acceptance/AcceptanceWait.h"
#include "acceptance/CanvasReadiness.h"
#include "acceptance/CleanupStack.h"
#include "acceptance/Fixture.h"
#include "acceptance/FixtureProcess.h"
#include "acceptance/SyntheticInput.h"
#include "acceptance/WindowServer.h"
#include "canvas/CanvasView.h"
#include "document/AnnotationPreferences.h"
#include "document/CrelDocument.h"
#include "platform/SettingsStore.h"
#include "selfcheck/Check.h"

#include <QAccessibleInterface>
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScreen>
#include <QTemporaryDir>
#include <QWidget>
#include <QWindow>

#include <csignal>
#include <cstdio>

using namespace crel;
using namespace crel::acceptance;

namespace {

class InputRecorder final : public QWidget {
public:
  using QWidget::QWidget;
  std::optional<QPointF> pressed;
  std::optional<QPointF> released;
  QString typed;

protected:
  void mousePressEvent(QMouseEvent *event) override { pressed = event->position(); }
  void mouseReleaseEvent(QMouseEvent *event) override { released = event->position(); }
  void keyPressEvent(QKeyEvent *event) override { typed += event->text(); }
};

QString describe(const QRect &rect) {
  return QStringLiteral("%1,%2 %3x%4").arg(rect.x()).arg(rect.y()).arg(rect.width()).arg(rect.height());
}

void checkFixtureWindows(FixtureProcess &fixture, WindowServer &server, qreal ratio) {
  const QRect capture = captureRect();
  std::optional<ServerWindow> titled;
  wait(QStringLiteral("Fixture window was not found by pid and title"), [&] {
    titled = server.find(fixture.pid(), QStringLiteral("Crel acceptance fixture"));
    return titled && titled->viewable;
  });
  NativeTests::expect(titled->window == fixture.titledWindow(), "Fixture window found by pid and title");
  const QRect content = logicalRect(titled->bounds, ratio);
  NativeTests::expect(content == capture.adjusted(-60, -60, 60, 60),
                      "Fixture content extends 60 points around the capture rectangle (content " + describe(content) +
                          ", capture " + describe(capture) + ")");
  NativeTests::expect(titled->bounds.size() == QSize(520, 380) * ratio, "Fixture content covers its device pixels");

  const auto shield = server.find(fixture.pid(), {}, true);
  NativeTests::expect(shield && shield->viewable &&
                          logicalRect(shield->bounds, ratio) == capture.adjusted(-50, -50, 50, 50),
                      "Fixture shield extends 50 points around the capture rectangle");

  server.activate(titled->window);
  wait(QStringLiteral("Fixture did not become frontmost"), [&] { return server.frontmostPid() == fixture.pid(); });
  NativeTests::pass("Frontmost pid is the fixture's");

  fixture.command("hide", "HIDDEN");
  wait(QStringLiteral("Fixture did not hide"), [&] { return !server.showsWindows(fixture.pid()); });
  NativeTests::pass("Hidden fixture shows no window");
  fixture.command("unhide", "SHOWN");
  fixture.command("activate", "ACTIVE");
  wait(QStringLiteral("Fixture did not come back to the front"),
       [&] { return server.showsWindows(fixture.pid()) && server.frontmostPid() == fixture.pid(); });
  NativeTests::pass("Shown again and activated, the fixture is frontmost");
}

void checkInput(WindowServer &server, qreal ratio) {
  // Centred on the screen, so beneath the fixture's shield, which must let
  // the input through.
  QWidget window;
  window.setWindowTitle(QStringLiteral("Acceptance smoke target"));
  auto *recorder = new InputRecorder(&window);
  recorder->setObjectName(QStringLiteral("drag-target"));
  recorder->setFocusPolicy(Qt::StrongFocus);
  recorder->setGeometry(40, 30, 240, 160);
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  window.setGeometry(QRect(QPoint(), QSize(320, 220)).translated(screen.center() - QPoint(160, 110)));
  window.show();
  recorder->setFocus();
  wait(QStringLiteral("Target window was not exposed"), [&] { return window.windowHandle()->isExposed(); });
  server.activate(static_cast<quint32>(window.winId()));
  wait(QStringLiteral("Target window did not become active"),
       [&] { return window.isActiveWindow() && server.frontmostPid() == QCoreApplication::applicationPid(); });

  QAccessibleInterface *element = control(QStringLiteral("drag-target"), &window);
  NativeTests::expect(element != nullptr, "Drag target found by its identifier");
  const QRect frame = element->rect();
  SyntheticInput input(ratio);
  input.drag(frame.topLeft() + QPointF(20, 20), frame.topLeft() + QPointF(180, 120));
  wait(QStringLiteral("XTest drag did not arrive"), [&] { return recorder->released.has_value(); });
  NativeTests::expect(recorder->pressed == QPointF(20, 20) && recorder->released == QPointF(180, 120),
                      "XTest drag arrives at the right logical coordinates");

  input.key(0x74); // XK_t
  wait(QStringLiteral("XTest key did not arrive"), [&] { return recorder->typed == QStringLiteral("t"); });
  NativeTests::pass("XTest key arrives in the focused widget");
}

// A real window with a canvas becomes ready for pointer input once the
// window manager has placed it where Qt believes it is.
void checkReadyCanvas(WindowServer &server) {
  QTemporaryDir settings;
  SettingsStore store(settings.filePath(QStringLiteral("settings.ini")));
  AnnotationPreferences preferences(store);
  QImage image(400, 300, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::white);
  CrelDocument document(image, preferences);
  QWidget window;
  window.setWindowTitle(QStringLiteral("Acceptance smoke canvas"));
  window.setGeometry(80, 60, 820, 420);
  auto *canvas = new CanvasView(document, &window);
  canvas->setGeometry(0, 0, 820, 420);
  window.show();
  CanvasView &ready = readyCanvas(window, server);
  NativeTests::expect(&ready == canvas && canvas->hasFocus(), "Canvas ready for pointer input has the focus");
}

} // namespace

int main(int argc, char *argv[]) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  QApplication app(argc, argv);
  const QString fixtureApp = qEnvironmentVariable("CREL_ACCEPTANCE_FIXTURE");
  const bool orphan = app.arguments().contains(QStringLiteral("--orphan"));
  try {
    // The fixture outlives the cleanup steps that reach for it.
    FixtureProcess fixture;
    CleanupStack cleanup;
    cleanup.push([&] { fixture.terminate(); });
    fixture.launch(fixtureApp);
    if (orphan) {
      std::printf("FIXTURE %lld\n", static_cast<long long>(fixture.pid()));
      std::fflush(stdout);
      ::raise(SIGKILL);
    }
    const qreal ratio = QGuiApplication::primaryScreen()->devicePixelRatio();
    WindowServer server;
    checkFixtureWindows(fixture, server, ratio);
    checkInput(server, ratio);
    checkReadyCanvas(server);

    const qint64 pid = fixture.pid();
    fixture.terminate();
    wait(QStringLiteral("Fixture outlived its termination"), [&] { return !server.showsWindows(pid); });
    NativeTests::expect(!fixture.running(), "Terminated fixture is gone");
  } catch (const std::exception &error) {
    std::fprintf(stderr, "FAIL: %s\n", error.what());
    return 1;
  }
  std::puts("ALL ACCEPTANCE SMOKE CHECKS PASSED");
  return 0;
}
