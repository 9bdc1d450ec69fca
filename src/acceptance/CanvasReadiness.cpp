#include "CanvasReadiness.h"

#include "AcceptanceLookups.h"
#include "WindowServer.h"
#include "canvas/CanvasView.h"
#include "selfcheck/Failure.h"

#include <QApplication>
#include <QLayout>
#include <QWidget>
#include <QWindow>

namespace crel::acceptance {

namespace {

constexpr int minimumContentWidth = 720;
constexpr int minimumCanvasHeight = 200;

ReadinessFacts observe(QWidget &window, WindowServer &server) {
  window.ensurePolished();
  if (window.layout())
    window.layout()->activate();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);

  ReadinessFacts facts;
  facts.frame = window.geometry();
  const qreal ratio = window.devicePixelRatioF();
  if (const auto info = server.info(static_cast<quint32>(window.winId())); info && info->viewable)
    facts.serverBounds = logicalRect(info->bounds, ratio);
  facts.active = window.isActiveWindow() && QApplication::activeWindow() == &window;
  facts.frontmost = server.frontmostPid() == QCoreApplication::applicationPid();
  facts.exposed = window.windowHandle() && window.windowHandle()->isExposed();
  facts.contentWidth = window.width();
  if (const CanvasView *canvas = findCanvas(&window))
    facts.canvas = canvas->size();
  return facts;
}

} // namespace

bool ReadinessTracker::evaluate(const ReadinessFacts &facts) {
  // Unknown to the server: not an evaluation that counts for stability.
  if (!facts.canvas || !facts.serverBounds)
    return false;
  const bool placed = facts.serverBounds == facts.frame;
  const bool stable = remembered_ == facts.frame;
  remembered_ = placed ? std::optional(facts.frame) : std::nullopt;
  return placed && stable && facts.active && facts.frontmost && facts.exposed &&
         facts.contentWidth >= minimumContentWidth && facts.canvas->width() == facts.contentWidth &&
         facts.canvas->height() >= minimumCanvasHeight;
}

CanvasView &readyCanvas(QWidget &window, WindowServer &server, const Sleep &sleep) {
  window.raise();
  window.activateWindow();
  server.activate(static_cast<quint32>(window.winId()));
  ReadinessTracker tracker;
  wait(
      QStringLiteral("Editor canvas did not become ready for pointer input"),
      [&] { return tracker.evaluate(observe(window, server)); }, sleep);
  CanvasView *canvas = findCanvas(&window);
  if (!canvas)
    throw NativeTests::Failure(QStringLiteral("Editor canvas disappeared after layout"));
  canvas->setFocus(Qt::OtherFocusReason);
  return *canvas;
}

} // namespace crel::acceptance
