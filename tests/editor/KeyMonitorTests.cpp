#include "EditorFixture.h"

#include "canvas/CanvasView.h"
#include "canvas/InlineTextEditor.h"
#include "document/MarkSamples.h"
#include "editor/EditorView.h"
#include "editor/KeyMonitor.h"
#include "platform/FakeTextRecognizer.h"
#include "platform/Pasteboard.h"

#include <QAction>
#include <QDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QSignalSpy>

using namespace crel;
using namespace crel::test;

namespace {

// Installed before any editor, so it sees a key only after the editor's
// monitor let it pass.
class PassedKeys : public QObject {
public:
  PassedKeys() { qApp->installEventFilter(this); }
  int count = 0;

protected:
  bool eventFilter(QObject *receiver, QEvent *event) override {
    // keyClick presses the modifiers first; only the key itself counts.
    if (event->type() == QEvent::KeyPress && receiver->isWidgetType() &&
        !QList<int>{Qt::Key_Control, Qt::Key_Shift, Qt::Key_Alt, Qt::Key_Meta}.contains(
            static_cast<QKeyEvent *>(event)->key()))
      ++count;
    return false;
  }
};

enum class Setup {
  canvasFocus,
  selection,
  zoomed,
  extract,
  lineEdit,
  readOnlyLineEdit,
  inlineText,
  sheet,
  otherWindowActive,
  noCanvas,
  noCanvasZoomed,
  closed
};

struct Case {
  const char *name;
  Setup setup;
  Qt::Key key;
  Qt::KeyboardModifiers modifiers;
  bool consumed;
  std::optional<MarkTool> tool = std::nullopt; // the document's tool afterwards
  std::optional<int> marks = std::nullopt;
  std::optional<double> zoom = std::nullopt;
  bool copyFires = false;
};

class KeyMonitorTest : public EditorFixture {
protected:
  PassedKeys passed;
};

TEST_F(KeyMonitorTest, KeysActOnlyWhereTheEditorOwnsThem) {
  const Qt::KeyboardModifiers none = Qt::NoModifier, ctrl = Qt::ControlModifier, alt = Qt::AltModifier;
  std::vector<Case> cases{
      {"Shift+V selects the select tool", Setup::canvasFocus, Qt::Key_V, Qt::ShiftModifier, true, MarkTool::select},
      {"Super+V passes", Setup::canvasFocus, Qt::Key_V, Qt::MetaModifier, false},
      {"Alt+V passes", Setup::canvasFocus, Qt::Key_V, alt, false},
      {"a key that is no tool passes", Setup::canvasFocus, Qt::Key_Q, none, false, MarkTool::arrow},
      {"Ctrl+D duplicates", Setup::selection, Qt::Key_D, ctrl, true, std::nullopt, 2},
      {"Alt+Ctrl+D duplicates too", Setup::selection, Qt::Key_D, ctrl | alt, true, std::nullopt, 2},
      {"Ctrl+0 resets zoom and pan", Setup::zoomed, Qt::Key_0, ctrl, true, std::nullopt, std::nullopt, 1},
      {"Ctrl+0 resets zoom without a canvas", Setup::noCanvasZoomed, Qt::Key_0, ctrl, true, std::nullopt, std::nullopt,
       1},
      {"Ctrl+= zooms in by half", Setup::canvasFocus, Qt::Key_Equal, ctrl, true, std::nullopt, std::nullopt, 1.5},
      {"Ctrl++ zooms in by half", Setup::canvasFocus, Qt::Key_Plus, ctrl | Qt::ShiftModifier, true, std::nullopt,
       std::nullopt, 1.5},
      {"Ctrl+- zooms out by a third", Setup::zoomed, Qt::Key_Minus, ctrl, true, std::nullopt, std::nullopt, 2},
      {"Ctrl+= without a canvas passes", Setup::noCanvas, Qt::Key_Equal, ctrl, false, std::nullopt, std::nullopt, 1},
      {"Ctrl+- without a canvas passes", Setup::noCanvasZoomed, Qt::Key_Minus, ctrl, false, std::nullopt, std::nullopt,
       3},
      {"Ctrl+C outside the extract tool is the menu's Copy", Setup::canvasFocus, Qt::Key_C, ctrl, false, std::nullopt,
       std::nullopt, std::nullopt, true},
      {"Ctrl+C in the extract tool is taken from the menu", Setup::extract, Qt::Key_C, ctrl, true},
      {"Ctrl+X is no command and no tool", Setup::canvasFocus, Qt::Key_X, ctrl, false, MarkTool::arrow},
      {"typing in a text field passes", Setup::lineEdit, Qt::Key_R, none, false, MarkTool::arrow},
      {"a read-only text field does not hold keys", Setup::readOnlyLineEdit, Qt::Key_R, none, true,
       MarkTool::rectangle},
      {"typing in the inline text editor passes", Setup::inlineText, Qt::Key_R, none, false, MarkTool::text},
      {"keys pass while a window-modal dialog is open", Setup::sheet, Qt::Key_R, none, false},
      {"keys for a window that is not active pass", Setup::otherWindowActive, Qt::Key_R, none, false},
      {"keys pass once the window has closed", Setup::closed, Qt::Key_R, none, false},
  };

  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(c.name) + " (" + QKeySequence(c.key | c.modifiers).toString().toStdString() + ")");
    const bool withCanvas = c.setup != Setup::noCanvas && c.setup != Setup::noCanvasZoomed;
    std::unique_ptr<EditorController> editor;
    std::unique_ptr<QuietDocument> bareDocument;
    std::unique_ptr<QWidget> bareWindow;
    std::unique_ptr<KeyMonitor> bareMonitor;
    QWidget *window = nullptr;
    CrelDocument *document = nullptr;
    if (withCanvas) {
      editor = makeEditor(EditorSize::compact);
      present(*editor);
      window = editor->window();
      document = &editor->document();
      editor->view()->canvas()->setFocus();
    } else {
      bareDocument = std::make_unique<QuietDocument>(screenshotImage(), annotation);
      bareWindow = std::make_unique<QWidget>();
      bareWindow->setFocusPolicy(Qt::StrongFocus);
      bareMonitor = std::make_unique<KeyMonitor>(*bareWindow, *bareDocument);
      bareWindow->show();
      bareWindow->activateWindow();
      ASSERT_TRUE(QTest::qWaitForWindowActive(bareWindow.get()));
      bareWindow->setFocus();
      window = bareWindow.get();
      document = bareDocument.get();
    }
    auto *copy = new QAction(window);
    copy->setShortcut(QKeySequence::Copy);
    window->addAction(copy);
    QSignalSpy copied(copy, &QAction::triggered);
    if (c.tool && c.tool != MarkTool::arrow && c.setup == Setup::canvasFocus)
      document->setTool(*c.tool == MarkTool::select ? MarkTool::pen : MarkTool::select);

    QWidget other;
    QDialog sheet(window);
    switch (c.setup) {
    case Setup::selection: {
      const Mark m = makeMark(MarkTool::rectangle);
      document->commit({m});
      document->setSelection(m.id);
      break;
    }
    case Setup::zoomed:
    case Setup::noCanvasZoomed:
      document->setZoom(3);
      document->setPan({20, 10});
      break;
    case Setup::extract: document->setTool(MarkTool::extract); break;
    case Setup::lineEdit:
    case Setup::readOnlyLineEdit: {
      auto *field = new QLineEdit(editor->view());
      field->setReadOnly(c.setup == Setup::readOnlyLineEdit);
      field->show();
      field->setFocus();
      break;
    }
    case Setup::inlineText:
      document->setTool(MarkTool::text);
      editor->view()->canvas()->inlineTextEditor().begin({100, 100}, std::nullopt);
      break;
    case Setup::sheet:
      sheet.setWindowModality(Qt::WindowModal);
      sheet.show();
      // The window itself is active, so only the open dialog holds the key.
      window->activateWindow();
      ASSERT_TRUE(QTest::qWaitForWindowActive(window));
      break;
    case Setup::otherWindowActive:
      other.show();
      other.activateWindow();
      ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
      break;
    case Setup::closed: {
      editor->window()->close();
      editor->window()->show();
      editor->window()->activateWindow();
      ASSERT_TRUE(QTest::qWaitForWindowActive(editor->window()));
      break;
    }
    default: break;
    }
    QCoreApplication::processEvents();
    QWidget *target = c.setup == Setup::otherWindowActive || c.setup == Setup::sheet ? editor->view()->canvas()
                                                                                     : QApplication::focusWidget();
    ASSERT_TRUE(target);
    if (c.setup == Setup::sheet) {
      ASSERT_EQ(QApplication::activeWindow(), window);
    }
    const int passedBefore = passed.count;
    const int marksBefore = int(document->marks().size());
    QTest::keyClick(target, c.key, c.modifiers);

    // Passed keys reach the focus widget, or the application's shortcut.
    EXPECT_EQ(passed.count == passedBefore && copied.isEmpty(), c.consumed);
    if (c.tool) {
      EXPECT_EQ(document->tool(), *c.tool);
    }
    EXPECT_EQ(document->marks().size(), c.marks.value_or(marksBefore));
    if (c.zoom) {
      EXPECT_DOUBLE_EQ(document->zoom(), *c.zoom);
    }
    if (c.setup == Setup::zoomed || c.setup == Setup::noCanvasZoomed) {
      if (c.zoom == 1.0) {
        EXPECT_EQ(document->pan(), QSizeF(0, 0));
      }
    }
    EXPECT_EQ(copied.size(), c.copyFires ? 1 : 0);
    if (c.consumed && c.setup == Setup::canvasFocus && c.tool) {
      EXPECT_TRUE(editor->view()->canvas()->hasFocus());
    }
    sheet.hide();
  }
}

TEST_F(KeyMonitorTest, CtrlCInTheExtractToolCopiesThePickedWords) {
  auto recognizer = std::make_shared<FakeTextRecognizer>();
  recognizer->setObservations({{{{"Total", geom::Rect(100, 100, 90, 30)}, {"due", geom::Rect(200, 100, 100, 30)}},
                                geom::Rect(100, 100, 200, 30),
                                0.9f}});
  TextRecognizer::setShared(recognizer);
  FakePasteboard pasteboard;
  Pasteboard::overrideGeneral(&pasteboard);
  sizes.setSize(EditorSize::compact);
  EditorController editor(std::make_unique<CrelDocument>(screenshotImage(), annotation), sizes);
  present(editor);
  CrelDocument &document = editor.document();
  document.selectTool(MarkTool::extract);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !document.recognizing() && !document.recognizedText().words.isEmpty(); }));
  document.setSelectedWords(document.availableText().words);
  editor.view()->canvas()->setFocus();
  QTest::keyClick(editor.view()->canvas(), Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(pasteboard.text, QString("Total due"));
  Pasteboard::overrideGeneral(nullptr);
  TextRecognizer::setShared(nullptr);
}

} // namespace
