// Copy and close: the main menu's Copy, Ctrl+C and the editor's Copy button
// each copy the editor's latest state, save it, put the same PNG on the
// clipboard and close only their own editor; the acknowledgement shows in
// the status item alone and clears by itself, and copying the last editor
// leaves the application running. The user's clipboard is given back.
#include "AcceptanceLookups.h"
#include "AcceptanceReads.h"
#include "AcceptanceRun.h"
#include "AcceptanceWait.h"
#include "CanvasReadiness.h"
#include "ClipboardGuard.h"
#include "app/AppDelegate.h"
#include "app/ImageOpening.h"
#include "app/ShortcutManager.h"
#include "canvas/CanvasView.h"
#include "canvas/InlineTextEditor.h"
#include "canvas/InlineTextView.h"
#include "capture/CaptureSource.h"
#include "document/CrelDocument.h"
#include "editor/EditorController.h"
#include "editor/EditorWindow.h"
#include "platform/clipboard/Pasteboard.h"
#include "selfcheck/Check.h"
#include "selfcheck/Fixtures.h"

#include <QAccessibleActionInterface>
#include <QAccessibleInterface>
#include <QClipboard>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>

#include <algorithm>
#include <memory>

namespace crel::acceptance {

namespace {

bool listed(const AppDelegate &delegate, const EditorController *editor) {
  return std::any_of(delegate.editors().cbegin(), delegate.editors().cend(),
                     [editor](const auto &open) { return open.get() == editor; });
}

bool visible(const QWidget *window) { return window && window->isVisible(); }

bool showsCopied(AppDelegate &delegate) {
  return delegate.statusItem().text().title.contains(QStringLiteral("Copied"));
}

// What an editor held when its window closed: the controller goes soon after.
struct ClosedState {
  bool closed = false;
  bool editingText = false;
  QList<Mark> marks;
};

std::shared_ptr<const ClosedState> recordClose(EditorController &editor, CanvasView &canvas) {
  auto state = std::make_shared<ClosedState>();
  QObject::connect(&editor, &EditorController::closed, &canvas, [&editor, &canvas, state] {
    state->closed = true;
    state->editingText = canvas.inlineTextEditor().isOpen();
    state->marks = editor.document().marks();
  });
  return state;
}

// The main menu's Copy item in the capture's editor, with an edit that the
// autosave has not written yet.
void copyFromMenu(RunState &run, ClipboardGuard &clipboard) {
  EditorController *first = run.editor.data();
  if (!first || !run.window || !run.canvas)
    NativeTests::fail(QStringLiteral("Editor canvas missing"));
  first->present();
  run.canvas->setFocus(Qt::OtherFocusReason);
  wait(QStringLiteral("Original editor did not become current"), [&] { return run.delegate.currentEditor() == first; });

  CrelDocument &document = first->document();
  document.selectMark(document.marks().first(), false);
  document.setStroke(12);
  performMenu(run, QStringLiteral("copy"), *run.window);
  clipboard.noteOwnWrite();

  expect(!visible(run.window) && !listed(run.delegate, first),
         QStringLiteral("Copy menu closes the editor within the action, without waiting for a timer"));
  expect(showsCopied(run.delegate) &&
             !(run.window && control(QStringLiteral("copied-confirmation"), run.window.data())),
         QStringLiteral("Copy acknowledgement stays in the menu bar with no editor overlay"));
  const QByteArray saved = NativeTests::readFile(run.savedPath);
  expect(clipboardPng() == saved && saved != run.reshapedBytes && !document.isDirty(),
         QStringLiteral("Copy menu closes the editor after saving and copying the latest pending edit"));
  expect(run.delegate.editors().size() == 1 && run.secondEditor && visible(run.secondEditor->window()),
         QStringLiteral("Copy leaves other crel editors open"));
}

// Ctrl+C handed to the main menu as a key equivalent in the second editor.
void copyFromKeyboard(RunState &run, ClipboardGuard &clipboard) {
  EditorController *second = run.secondEditor.data();
  CanvasView *canvas = second && second->window() ? findCanvas(second->window()) : nullptr;
  if (!canvas)
    NativeTests::fail(QStringLiteral("Second editor canvas missing"));
  second->present();
  canvas->setFocus(Qt::OtherFocusReason);
  wait(QStringLiteral("Second editor did not become current"), [&] { return run.delegate.currentEditor() == second; });

  const QPointer<EditorWindow> window = second->window();
  const QKeyEvent copy(QEvent::KeyPress, Qt::Key_C, Qt::ControlModifier, QStringLiteral("c"));
  expect(run.delegate.menus().performKeyEquivalent(copy), QStringLiteral("Command C invokes the native Copy shortcut"));
  clipboard.noteOwnWrite();
  expect(run.delegate.editors().empty() && !visible(window),
         QStringLiteral("Command C closes its editor before the keyboard action returns"));
  expect(clipboardPng() == NativeTests::readFile(run.secondSavedPath),
         QStringLiteral("Command C closes its editor and keeps the copied image available"));
}

// The editor's own Copy button, pressed through accessibility while text is
// still being typed on the image.
void copyFromButton(RunState &run, ClipboardGuard &clipboard) {
  run.delegate.showEditor(ImageOpening::readImage(run.savedPath), CaptureSource{});
  if (run.delegate.editors().size() != 1)
    NativeTests::fail(QStringLiteral("Button editor missing"));
  EditorController &editor = *run.delegate.editors().front();
  wait(QStringLiteral("Button editor was not saved"), [&] { return editor.document().savedURL().has_value(); });
  const std::optional<QString> savedPath = editor.document().savedURL();
  if (!savedPath)
    NativeTests::fail(QStringLiteral("Button editor missing"));
  removeOnExit(run, *savedPath);
  const QPointer<EditorWindow> window = editor.window();
  if (!window)
    NativeTests::fail(QStringLiteral("Button editor missing"));
  wait(QStringLiteral("Button editor did not finish opening"), [&] { return isKeyWindow(window); });

  CanvasView &canvas = readyCanvas(*window, run.server);
  const std::shared_ptr<const ClosedState> closed = recordClose(editor, canvas);
  editor.document().selectTool(MarkTool::text);
  const geom::Rect image = canvas.imageRect();
  click(run, canvas.mapToGlobal(QPointF(image.minX() + 30, image.minY() + 30)));
  wait(QStringLiteral("Final inline text not ready"), [&] { return canvas.inlineTextEditor().isOpen(); });

  // The commit string of an input method: the text-insertion road of typing.
  QInputMethodEvent typing;
  typing.setCommitString(QStringLiteral("Ready to share"));
  QCoreApplication::sendEvent(canvas.inlineTextEditor().view(), &typing);
  wait(QStringLiteral("Copy button is not accessible"),
       [&] { return control(QStringLiteral("copy-image"), window.data()) != nullptr; });
  QAccessibleInterface *button = control(QStringLiteral("copy-image"), window.data());
  QAccessibleActionInterface *actions = button ? button->actionInterface() : nullptr;
  const bool pressable = actions && actions->actionNames().contains(QAccessibleActionInterface::pressAction());
  if (pressable)
    actions->doAction(QAccessibleActionInterface::pressAction());
  expect(pressable, QStringLiteral("The real Copy button can be pressed"));
  wait(QStringLiteral("Copy button did not close the editor"),
       [&] { return run.delegate.editors().empty() && !visible(window); });
  clipboard.noteOwnWrite();

  expect(closed->closed && !closed->editingText && !closed->marks.isEmpty() &&
             closed->marks.last().text == QStringLiteral("Ready to share"),
         QStringLiteral("Copy button includes text still being edited on the image"));
  const QByteArray png = clipboardPng();
  expect(png == NativeTests::readFile(*savedPath) && !Pasteboard::general().readImage().isNull(),
         QStringLiteral("Copy button closes its editor and preserves the copied and saved PNG"));
  clipboard.noteOwnWrite();
  expect(run.delegate.shortcuts().isRegistered(),
         QStringLiteral("Copying the last crel leaves the menu bar app running"));
}

} // namespace

void copyAndClose(RunState &run) {
  auto clipboard = std::make_shared<ClipboardGuard>(*QGuiApplication::clipboard());
  run.cleanup.push([clipboard] { clipboard->restore(); });

  copyFromMenu(run, *clipboard);
  copyFromKeyboard(run, *clipboard);
  copyFromButton(run, *clipboard);

  wait(QStringLiteral("Menu bar copy acknowledgement did not clear"), [&] { return !showsCopied(run.delegate); });
  NativeTests::pass(QStringLiteral("Copy acknowledgement clears without reopening or delaying an editor"));
}

} // namespace crel::acceptance
