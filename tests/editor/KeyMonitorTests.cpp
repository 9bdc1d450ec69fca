#include "EditorFixture.h"

#include "canvas/CanvasView.h"
#include "document/MarkSamples.h"
#include "editor/EditorView.h"
#include "editor/KeyMonitor.h"
#include "platform/clipboard/Pasteboard.h"
#include "platform/text/FakeTextRecognizer.h"

#include <QAction>
#include <QDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QSignalSpy>

#include <functional>

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

// Where a key is pressed: an editor with its canvas focused, or, with
// `bare`, a plain window that only has a monitor.
struct Rig {
  std::unique_ptr<EditorController> editor;
  std::unique_ptr<QuietDocument> bareDocument;
  std::unique_ptr<QWidget> bareWindow;
  std::unique_ptr<KeyMonitor> monitor;
  QWidget *window = nullptr;
  CrelDocument *document = nullptr;
  QWidget *target = nullptr; // the focus widget unless a setup says otherwise
  QWidget other;
  std::unique_ptr<QDialog> sheet;
};

using Prepare = std::function<void(Rig &)>;

struct Case {
  const char *name;
  bool bare;
  Prepare setup;
  Qt::Key key;
  Qt::KeyboardModifiers modifiers;
  bool consumed;
  std::optional<MarkTool> tool = std::nullopt; // the document's tool afterwards
  std::optional<int> marks = std::nullopt;
  std::optional<double> zoom = std::nullopt; // a zoom of 1 also resets the pan
  bool copyFires = false;
};

void activate(QWidget *window) {
  window->show();
  window->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window));
}

class KeyMonitorTest : public EditorFixture {
protected:
  PassedKeys passed;
};

TEST_F(KeyMonitorTest, KeysActOnlyWhereTheEditorOwnsThem) {
  const Qt::KeyboardModifiers none = Qt::NoModifier, ctrl = Qt::ControlModifier, alt = Qt::AltModifier;
  const Prepare focused = [](Rig &) {};
  const Prepare selection = [](Rig &r) {
    const Mark m = makeMark(MarkTool::rectangle);
    r.document->commit({m});
    r.document->setSelection(m.id);
  };
  const Prepare zoomed = [](Rig &r) {
    r.document->setZoom(3);
    r.document->setPan({20, 10});
  };
  const auto field = [](bool readOnly) {
    return [readOnly](Rig &r) {
      auto *edit = new QLineEdit(r.editor->view());
      edit->setReadOnly(readOnly);
      edit->show();
      edit->setFocus();
    };
  };
  const Prepare pen = [](Rig &r) { r.document->setTool(MarkTool::pen); };
  const std::vector<Case> cases{
      {"Shift+V selects the select tool", false, pen, Qt::Key_V, Qt::ShiftModifier, true, MarkTool::select},
      {"Super+V passes", false, focused, Qt::Key_V, Qt::MetaModifier, false},
      {"Alt+V passes", false, focused, Qt::Key_V, alt, false},
      {"a key that is no tool passes", false, focused, Qt::Key_Q, none, false, MarkTool::arrow},
      {"Ctrl+D duplicates", false, selection, Qt::Key_D, ctrl, true, std::nullopt, 2},
      {"Alt+Ctrl+D duplicates too", false, selection, Qt::Key_D, ctrl | alt, true, std::nullopt, 2},
      {"Ctrl+0 resets zoom and pan", false, zoomed, Qt::Key_0, ctrl, true, std::nullopt, std::nullopt, 1},
      {"Ctrl+0 resets zoom without a canvas", true, zoomed, Qt::Key_0, ctrl, true, std::nullopt, std::nullopt, 1},
      {"Ctrl+= zooms in by half", false, focused, Qt::Key_Equal, ctrl, true, std::nullopt, std::nullopt, 1.5},
      {"Ctrl++ zooms in by half", false, focused, Qt::Key_Plus, ctrl | Qt::ShiftModifier, true, std::nullopt,
       std::nullopt, 1.5},
      {"Ctrl+- zooms out by a third", false, zoomed, Qt::Key_Minus, ctrl, true, std::nullopt, std::nullopt, 2},
      {"Ctrl+= without a canvas passes", true, focused, Qt::Key_Equal, ctrl, false, std::nullopt, std::nullopt, 1},
      {"Ctrl+- without a canvas passes", true, zoomed, Qt::Key_Minus, ctrl, false, std::nullopt, std::nullopt, 3},
      {"Ctrl+C outside the extract tool is the menu's Copy", false, focused, Qt::Key_C, ctrl, false, std::nullopt,
       std::nullopt, std::nullopt, true},
      {"Ctrl+C in the extract tool is taken from the menu", false,
       [](Rig &r) { r.document->setTool(MarkTool::extract); }, Qt::Key_C, ctrl, true},
      {"Ctrl+X is no command and no tool", false, focused, Qt::Key_X, ctrl, false, MarkTool::arrow},
      {"typing in a text field passes", false, field(false), Qt::Key_R, none, false, MarkTool::arrow},
      {"a read-only text field does not hold keys", false, field(true), Qt::Key_R, none, true, MarkTool::rectangle},
      // The window itself is active, so only the open dialog holds the key.
      {"keys pass while a window-modal dialog is open", false,
       [](Rig &r) {
         r.sheet = std::make_unique<QDialog>(r.window);
         r.sheet->setWindowModality(Qt::WindowModal);
         r.sheet->show();
         activate(r.window);
         r.target = r.editor->view()->canvas();
       },
       Qt::Key_R, none, false},
      {"keys for a window that is not active pass", false,
       [](Rig &r) {
         activate(&r.other);
         r.target = r.editor->view()->canvas();
       },
       Qt::Key_R, none, false},
      {"keys pass once the window has closed", false,
       [](Rig &r) {
         r.window->close();
         activate(r.window);
       },
       Qt::Key_R, none, false},
  };

  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(c.name) + " (" + QKeySequence(c.key | c.modifiers).toString().toStdString() + ")");
    Rig r;
    if (c.bare) {
      r.bareDocument = std::make_unique<QuietDocument>(screenshotImage(), annotation);
      r.bareWindow = std::make_unique<QWidget>();
      r.bareWindow->setFocusPolicy(Qt::StrongFocus);
      r.monitor = std::make_unique<KeyMonitor>(*r.bareWindow, *r.bareDocument);
      r.window = r.bareWindow.get();
      r.document = r.bareDocument.get();
      activate(r.window);
      r.window->setFocus();
    } else {
      r.editor = makeEditor(EditorSize::compact);
      present(*r.editor);
      r.window = r.editor->window();
      r.document = &r.editor->document();
      r.editor->view()->canvas()->setFocus();
    }
    auto *copy = new QAction(r.window);
    copy->setShortcut(QKeySequence::Copy);
    r.window->addAction(copy);
    QSignalSpy copied(copy, &QAction::triggered);
    c.setup(r);
    QCoreApplication::processEvents();
    QWidget *target = r.target ? r.target : QApplication::focusWidget();
    ASSERT_TRUE(target);
    const int passedBefore = passed.count;
    const int marksBefore = int(r.document->marks().size());
    QTest::keyClick(target, c.key, c.modifiers);

    // Passed keys reach the focus widget, or the application's shortcut.
    EXPECT_EQ(passed.count == passedBefore && copied.isEmpty(), c.consumed);
    if (c.tool) {
      EXPECT_EQ(r.document->tool(), *c.tool);
    }
    EXPECT_EQ(r.document->marks().size(), c.marks.value_or(marksBefore));
    if (c.zoom) {
      EXPECT_DOUBLE_EQ(r.document->zoom(), *c.zoom);
    }
    if (c.zoom == 1.0) {
      EXPECT_EQ(r.document->pan(), QSizeF(0, 0));
    }
    EXPECT_EQ(copied.size(), c.copyFires ? 1 : 0);
    if (r.sheet)
      r.sheet->hide();
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
