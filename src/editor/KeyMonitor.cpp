#include "KeyMonitor.h"
#include "Sheets.h"

#include "canvas/CanvasView.h"
#include "canvas/InlineTextView.h"
#include "document/CrelDocument.h"
#include "platform/clipboard/Pasteboard.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>

namespace crel {

namespace {

// The key's character as the layout gives it; never the control character
// that text() carries while Ctrl is held.
QString character(const QKeyEvent &event, bool ctrl) {
  const int key = event.key();
  if (key >= Qt::Key_A && key <= Qt::Key_Z)
    return QString(QChar('a' + (key - Qt::Key_A)));
  if (key >= Qt::Key_0 && key <= Qt::Key_9)
    return QString(QChar('0' + (key - Qt::Key_0)));
  switch (key) {
  case Qt::Key_Plus: return QStringLiteral("+");
  case Qt::Key_Equal: return QStringLiteral("=");
  case Qt::Key_Minus: return QStringLiteral("-");
  default: break;
  }
  return ctrl ? QString() : event.text().toLower();
}

bool editsText(const QWidget *focus) {
  if (!focus)
    return false;
  if (qobject_cast<const InlineTextView *>(focus) || focus->property("crelEditableText").toBool())
    return true;
  if (auto *line = qobject_cast<const QLineEdit *>(focus))
    return !line->isReadOnly();
  if (auto *text = qobject_cast<const QTextEdit *>(focus))
    return !text->isReadOnly();
  if (auto *plain = qobject_cast<const QPlainTextEdit *>(focus))
    return !plain->isReadOnly();
  return false;
}

} // namespace

KeyMonitor::Command KeyMonitor::decide(const QKeyEvent &event, MarkTool currentTool, bool hasCanvas) {
  const Qt::KeyboardModifiers mods = event.modifiers();
  const bool ctrl = mods.testFlag(Qt::ControlModifier);
  const QString c = character(event, ctrl);
  if (ctrl && !c.isEmpty()) {
    if (c == u"c" && currentTool == MarkTool::extract)
      return {Command::copyText};
    if (c == u"d")
      return {Command::duplicate};
    if (c == u"0")
      return {Command::resetZoom};
    if ((c == u"+" || c == u"=" || c == u"-") && hasCanvas)
      return {Command::zoom, c == u"-" ? 2.0 / 3.0 : 1.5};
  }
  if (mods & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
    return {};
  for (MarkTool tool : allCases<MarkTool>())
    if (!c.isEmpty() && c == shortcut(tool))
      return {Command::selectTool, 1, tool};
  return {};
}

KeyMonitor::KeyMonitor(QWidget &window, CrelDocument &document, QObject *parent)
    : QObject(parent), window_(&window), document_(&document) {
  qApp->installEventFilter(this);
  installed_ = true;
}

KeyMonitor::~KeyMonitor() { remove(); }

void KeyMonitor::remove() {
  if (installed_ && qApp)
    qApp->removeEventFilter(this);
  installed_ = false;
}

bool KeyMonitor::watches(const QWidget &window) {
  return QApplication::activeWindow() == &window && !Sheets::attached(&window) &&
         !editsText(QApplication::focusWidget());
}

bool KeyMonitor::eventFilter(QObject *receiver, QEvent *event) {
  const QEvent::Type type = event->type();
  if ((type != QEvent::KeyPress && type != QEvent::ShortcutOverride) || !receiver->isWidgetType())
    return false;
  if (!window_ || !document_ || static_cast<QWidget *>(receiver)->window() != window_ || !watches(*window_))
    return false;
  auto &key = static_cast<QKeyEvent &>(*event);
  const Command command = decide(key, document_->tool(), CanvasView::find(window_) != nullptr);
  if (command.kind == Command::pass)
    return false;
  // Taking the override keeps the key from the application's shortcuts; the
  // press that follows carries it out.
  key.accept();
  if (type == QEvent::KeyPress)
    perform(command);
  return true;
}

void KeyMonitor::perform(const Command &command) {
  CrelDocument &document = *document_;
  CanvasView *canvas = CanvasView::find(window_);
  switch (command.kind) {
  case Command::pass: break;
  case Command::copyText: document.copyRecognizedText(Pasteboard::general()); break;
  case Command::duplicate: document.duplicateSelection(); break;
  case Command::resetZoom:
    document.setZoom(1);
    document.setPan({0, 0});
    break;
  case Command::zoom:
    if (canvas)
      canvas->setZoom(document.zoom() * command.zoomFactor);
    break;
  case Command::selectTool:
    document.selectTool(command.tool);
    if (canvas)
      canvas->setFocus(Qt::ShortcutFocusReason);
    break;
  }
}

} // namespace crel
