// The editor's chrome at the compact size, its size menu with maximise and
// restore, the tools' accessibility, the style control and the inline text
// road, ending with one arrow drawn.
#include "AcceptanceLookups.h"
#include "AcceptanceRun.h"
#include "CanvasReadiness.h"
#include "canvas/CanvasInteraction.h"
#include "canvas/CanvasView.h"
#include "canvas/InlineTextEditor.h"
#include "canvas/InlineTextView.h"
#include "chrome/ChromeSegmented.h"
#include "document/AnnotationPreferences.h"
#include "document/CrelDocument.h"
#include "document/EditorSizePreferences.h"
#include "editor/EditorController.h"
#include "editor/EditorView.h"
#include "editor/EditorWindow.h"
#include "editor/GlassSurface.h"
#include "platform/files/SettingsStore.h"
#include "selfcheck/Check.h"

#include <QAccessibleInterface>
#include <QApplication>
#include <QDialog>
#include <QLayout>
#include <QMenu>
#include <QStringList>

#include <charconv>
#include <cstdio>

namespace crel::acceptance {

namespace {

const QSize compactContent(800, 460);

// A number in its shortest decimal form with at least one fractional digit.
QString decimal(double value) {
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  QString text = QString::fromLatin1(buffer, result.ptr - buffer);
  if (!text.contains(QLatin1Char('.')) && !text.contains(QLatin1Char('e')))
    text += QStringLiteral(".0");
  return text;
}

QString sizeText(QSizeF size) { return QStringLiteral("(%1, %2)").arg(decimal(size.width()), decimal(size.height())); }

QString sizesText(const QList<QRect> &frames) {
  QStringList sizes;
  for (const QRect &frame : frames)
    sizes << sizeText(frame.size());
  return QLatin1Char('[') + sizes.join(QStringLiteral(", ")) + QLatin1Char(']');
}

void layOut(QWidget &window) {
  if (window.layout())
    window.layout()->activate();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
}

// The accessible frames of the tool buttons that are there, in tool order.
QList<QRect> toolFrames(QWidget &window) {
  QList<QRect> frames;
  for (MarkTool tool : allCases<MarkTool>())
    if (QAccessibleInterface *button = control(QStringLiteral("tool-") + rawValue(tool), &window))
      frames.append(button->rect());
  return frames;
}

// The window's client area in global coordinates.
QRect contentRect(const QWidget &window) { return {window.mapToGlobal(QPoint(0, 0)), window.size()}; }

QAction *sizeItem(QMenu &menu, EditorSize size) {
  for (QAction *item : menu.actions())
    if (item->data().toString() == rawValue(size))
      return item;
  return nullptr;
}

struct Editor {
  EditorController &controller;
  EditorWindow &window;
  CanvasView &canvas;
  CrelDocument &document;
};

void checkCompactChrome(Editor &e) {
  e.controller.present();
  wait(QStringLiteral("Editor did not become key"),
       [&] { return e.window.isActiveWindow() && QApplication::activeWindow() == &e.window; });
  GlassSurface::setContentSize(compactContent, e.window);

  QString diagnostic;
  try {
    wait(QStringLiteral("Toolbar accessibility geometry did not become available"), [&] {
      layOut(e.window);
      const QList<QRect> frames = toolFrames(e.window);
      diagnostic = QStringLiteral("content=%1, controls=%2").arg(sizeText(e.window.size()), sizesText(frames));
      return frames.size() == int(allCases<MarkTool>().size()) && e.window.size() == compactContent &&
             std::all_of(frames.begin(), frames.end(), [](const QRect &f) { return !f.isEmpty(); });
    });
  } catch (const NativeTests::Failure &failure) {
    describeAccessibility(QAccessible::queryAccessibleInterface(&e.window), 0, stdout);
    std::fflush(stdout);
    NativeTests::fail(failure.description() + QStringLiteral(": ") + diagnostic);
  }

  const QList<QRect> frames = toolFrames(e.window);
  expect(
      frames.size() == int(allCases<MarkTool>().size()) &&
          std::all_of(frames.begin(), frames.end(), [](const QRect &f) { return f.width() <= 40 && f.height() <= 32; }),
      QStringLiteral("Tool buttons stay compact at the minimum editor size: ") + sizesText(frames));
  const QRect content = contentRect(e.window);
  expect(std::all_of(frames.begin(), frames.end(), [&](const QRect &f) { return content.contains(f); }),
         QStringLiteral("Every annotation tool stays below the native title bar and inside the compact window"));
  expect(e.window.height() - e.canvas.height() <= 130,
         QStringLiteral("Compact controls leave most of the window for the image (content %1, canvas %2)")
             .arg(sizeText(e.window.size()), sizeText(e.canvas.size())));
}

void checkSizeMenu(RunState &run, Editor &e) {
  EditorSizePreferences &preferences = e.controller.sizePreferences();
  run.cleanup.push([&preferences, remembered = preferences.size()] { preferences.setSize(remembered); });

  // The bars float over the canvas's top edge, where a right click is the
  // bar's: 20 points into the area the image is fitted in instead.
  const geom::Rect free = e.canvas.fitArea();
  const std::unique_ptr<QMenu> menu = e.canvas.interaction().contextMenu(QPointF(free.minX() + 20, free.minY() + 20));
  QAction *large = menu ? sizeItem(*menu, EditorSize::large) : nullptr;
  QAction *compact = menu ? sizeItem(*menu, EditorSize::compact) : nullptr;
  if (!large || !compact)
    NativeTests::fail(QStringLiteral("Editor size context menu is missing"));

  large->trigger();
  wait(QStringLiteral("Large editor size was not applied"),
       [&] { return e.window.width() >= 820 && preferences.size() == EditorSize::large; });
  expect(EditorSizePreferences(SettingsStore::standard()).size() == EditorSize::large,
         QStringLiteral("Right-click size action persists the choice read by Settings"));

  const QRect normal = e.window.geometry();
  e.window.showMaximized();
  wait(QStringLiteral("Editor did not maximize"),
       [&] { return e.window.isMaximized() && e.window.geometry() != normal; });
  const std::unique_ptr<QMenu> sizes = e.controller.windowSizeMenu();
  const QList<QAction *> items = sizes->actions();
  expect(std::none_of(items.begin(), items.end(), [](QAction *i) { return i->data().isValid() && i->isEnabled(); }),
         QStringLiteral("Size choices are disabled while the editor is maximized"));
  const QRect zoomed = e.window.frameGeometry();
  e.controller.chooseWindowSize(*compact);
  expect(e.window.frameGeometry() == zoomed && preferences.size() == EditorSize::large,
         QStringLiteral("An expanded editor rejects size changes without changing the saved choice"));

  // Qt flips its state flags at once; the window manager resizes later. A
  // size chosen before the window is back would race with that.
  e.window.showNormal();
  wait(QStringLiteral("Editor did not restore from maximize"),
       [&] { return !e.window.isMaximized() && e.window.size() == normal.size(); });
  compact->trigger();
  wait(QStringLiteral("Compact editor size was not restored"),
       [&] { return e.window.size() == compactContent && e.canvas.height() >= 270; });
}

void checkControls(RunState &run, Editor &e) {
  for (MarkTool tool : allCases<MarkTool>()) {
    QAccessibleInterface *button = control(QStringLiteral("tool-") + rawValue(tool), &e.window);
    if (!button)
      NativeTests::fail(QStringLiteral("Tool button missing: ") + label(tool));
    expect(button->text(QAccessible::Help).contains(shortcut(tool).toUpper()),
           label(tool) + QStringLiteral(" button exposes its single-letter shortcut on hover"));
  }
  expect(control(QStringLiteral("annotation-style"), &e.window) != nullptr,
         QStringLiteral("Doodle and Formal style control is accessible in the editor"));
  expect(control(QStringLiteral("custom-ink"), &e.window) != nullptr,
         QStringLiteral("Full custom color picker is available beside the presets"));
  readyCanvas(e.window, run.server);
}

// Where the style's segment is, in global coordinates, once a click there
// would reach the enabled two-segment style control. The bar's groups
// spring to new widths after a tool change, carrying the control along:
// `point` must also be where the previous evaluation found it.
bool styleSegmentReady(QWidget &window, AnnotationStyle style, QPointF &point) {
  const QPointF previous = point;
  layOut(window);
  QAccessibleInterface *picker = control(QStringLiteral("annotation-style"), &window);
  if (!picker)
    return false;
  QAccessibleInterface *segment = nullptr;
  for (int i = 0; i < picker->childCount() && !segment; ++i)
    if (QAccessibleInterface *child = picker->child(i); child && child->text(QAccessible::Name) == label(style))
      segment = child;
  if (!segment || segment->rect().isEmpty())
    return false;
  point = QRectF(segment->rect()).center();
  const QPoint local = window.mapFromGlobal(point.toPoint());
  if (!window.rect().contains(local))
    return false;
  QWidget *hit = window.childAt(local);
  while (hit && !qobject_cast<ChromeSegmented *>(hit))
    hit = hit->parentWidget();
  auto *control = qobject_cast<ChromeSegmented *>(hit);
  return control && control->isEnabled() && control->count() == 2 && control->segment(0) &&
         control->segment(0)->accessibleName() == label(AnnotationStyle::formal) && point == previous;
}

void checkStylePicker(RunState &run, Editor &e) {
  AnnotationPreferences &shared = AnnotationPreferences::shared();
  run.cleanup.push([&shared, remembered = shared.style()] { shared.setStyle(remembered); });
  using enum AnnotationStyle;
  for (AnnotationStyle style : {formal, formal, doodle, doodle}) {
    QPointF point;
    wait(QStringLiteral("Displayed ") + label(style) + QStringLiteral(" segment did not become ready"),
         [&] { return styleSegmentReady(e.window, style, point); });
    click(run, point);
    wait(QStringLiteral("Click did not select ") + label(style), [&] { return e.document.annotationStyle() == style; });
    wait(QStringLiteral("Style picker did not return drawing focus"),
         [&] { return e.window.focusWidget() == &e.canvas; });
    sendKey(e.window, Qt::Key_Right);
    expect(e.document.annotationStyle() == style && shared.style() == style,
           QStringLiteral("Choosing ") + label(style) +
               QStringLiteral(" keeps drawing focus and arrow keys cannot switch it"));
  }
}

bool hasSheet(const QWidget &window) {
  const QList<QDialog *> dialogs = window.findChildren<QDialog *>();
  return std::any_of(dialogs.begin(), dialogs.end(), [](const QDialog *d) { return d->isVisible(); });
}

void checkInlineText(RunState &run, Editor &e) {
  constexpr quint32 keyT = 0x74, keyA = 0x61;
  run.input.key(keyT);
  wait(QStringLiteral("T shortcut did not select Text"), [&] { return e.document.tool() == MarkTool::text; });
  InlineTextEditor &editor = e.canvas.inlineTextEditor();
  click(run, imagePoint(e.canvas, 0.12, 0.1));
  wait(QStringLiteral("Text was not placed on the image"), [&] { return editor.isOpen(); });
  if (!editor.isOpen() || !editor.view())
    NativeTests::fail(QStringLiteral("Inline field missing"));
  expect(!hasSheet(e.window) && e.window.focusWidget() == editor.view(),
         QStringLiteral("Text opens directly on the image with keyboard focus and no popup"));

  run.input.key(keyA);
  wait(QStringLiteral("Typing A was intercepted as a tool shortcut"),
       [&] { return editor.view() && editor.view()->text() == QStringLiteral("a"); });
  expect(e.document.tool() == MarkTool::text && !e.document.marks().isEmpty() &&
             e.document.marks().last().text == QStringLiteral("a"),
         QStringLiteral("Tool letters type normally while inline text has focus"));

  sendKey(e.window, Qt::Key_Return, QStringLiteral("\r"));
  wait(QStringLiteral("Return did not finish inline text"), [&] { return !editor.isOpen(); });
  performMenu(run, QStringLiteral("undoCurrent"), e.window);
  expect(e.document.marks().isEmpty(), QStringLiteral("Native Undo removes the completed text edit in one step"));
}

} // namespace

void editorChrome(RunState &run) {
  EditorController *controller = run.editor;
  EditorWindow *window = controller ? controller->window() : nullptr;
  CanvasView *canvas = window ? findCanvas(window) : nullptr;
  if (!controller || !window || !controller->view() || !canvas)
    NativeTests::fail(QStringLiteral("Editor canvas missing"));
  run.window = window;
  run.canvas = canvas;
  Editor e{*controller, *window, *canvas, controller->document()};

  checkCompactChrome(e);
  checkSizeMenu(run, e);
  checkControls(run, e);
  checkStylePicker(run, e);
  checkInlineText(run, e);

  e.document.selectTool(MarkTool::arrow);
  drag(run, imagePoint(e.canvas, 0.2, 0.3), imagePoint(e.canvas, 0.7, 0.6));
  pause(200);
}

} // namespace crel::acceptance
