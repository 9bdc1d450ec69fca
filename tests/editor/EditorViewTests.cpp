#include "EditorFixture.h"

#include "canvas/CanvasView.h"
#include "canvas/ColorInspection.h"
#include "canvas/ColorInspectionReadout.h"
#include "canvas/InlineTextView.h"
#include "document/MarkSamples.h"
#include "editor/BarGroup.h"
#include "editor/EditorView.h"
#include "platform/clipboard/Pasteboard.h"

#include <QSignalSpy>

#include <map>

using namespace crel;
using namespace crel::test;

namespace {

using EditorViewTest = EditorFixture;

TEST_F(EditorViewTest, RowsGroupsAndReadoutSitAtTheirInsetsAtEverySize) {
  auto editor = makeEditor(EditorSize::regular);
  present(*editor);
  EditorView &view = *editor->view();
  view.canvas()->colorInspection().show(PixelColor{10, 20, 30, 255});
  // Asking for less than the minimum gives the minimum.
  for (const QSize asked : {QSize(800, 460), QSize(500, 300), QSize(1120, 780)}) {
    editor->window()->resize(asked);
    QCoreApplication::processEvents();
    const QSize expected = asked.expandedTo(EditorView::minimumContentSize);
    SCOPED_TRACE(QString("%1x%2").arg(asked.width()).arg(asked.height()).toStdString());
    ASSERT_EQ(view.size(), expected);
    EXPECT_EQ(view.canvas()->geometry(), view.rect());
    const auto &g = view.groups();
    for (int i = 0; i < 6; ++i) {
      const QRect r = g[i]->geometry();
      // Centred in rows 44 high, 2 below the top and 12 above the bottom.
      EXPECT_LE(r.height(), 44) << g[i]->objectName().toStdString();
      EXPECT_EQ(r.top() + r.height() / 2.0, i < 3 ? 2 + 22 : expected.height() - 12 - 22)
          << g[i]->objectName().toStdString();
    }
    EXPECT_EQ(g[0]->geometry().left(), 12);
    EXPECT_EQ(g[3]->geometry().left(), 12);
    EXPECT_EQ(g[2]->geometry().right() + 1, expected.width() - 12);
    EXPECT_EQ(g[5]->geometry().right() + 1, expected.width() - 12);
    // The centre groups never come closer than 10 to the leading ones.
    EXPECT_GE(g[1]->geometry().left(), g[0]->geometry().right() + 1 + 10);
    EXPECT_GE(g[4]->geometry().left(), g[3]->geometry().right() + 1 + 10);
    // The canvas hears of the bars' new frames, and a press between two bars reaches it.
    QList<geom::Rect> frames;
    for (const BarGroup *group : g)
      frames.append(geom::Rect::fromQRectF(QRectF(group->geometry())));
    EXPECT_EQ(view.canvas()->chromeFrames(), frames);
    EXPECT_EQ(view.childAt(g[0]->geometry().right() + 5, g[0]->geometry().center().y()), view.canvas());
    const QRect readout = view.readout()->geometry();
    EXPECT_TRUE(view.readout()->isVisible());
    EXPECT_EQ(readout.left(), 20);
    EXPECT_EQ(readout.bottom() + 1, expected.height() - 66);
  }
}

TEST_F(EditorViewTest, ManyDocumentChangesInOneTurnRefreshTheBarsOnce) {
  auto editor = makeEditor();
  present(*editor);
  QSignalSpy refreshed(editor->view(), &EditorView::refreshed);
  CrelDocument &document = editor->document();
  document.commit({makeMark(MarkTool::arrow)});
  document.selectTool(MarkTool::rectangle);
  document.setZoom(2);
  document.setStatus("x");
  ASSERT_TRUE(refreshed.wait(1000));
  QCoreApplication::processEvents();
  EXPECT_EQ(refreshed.size(), 1);
  document.setZoom(1);
  ASSERT_TRUE(refreshed.wait(1000));
  EXPECT_EQ(refreshed.size(), 2);
}

TEST_F(EditorViewTest, FocusReturnsToTheCanvasOnlyWhileItsWindowIsActive) {
  auto editor = makeEditor();
  present(*editor);
  EditorView &view = *editor->view();
  QWidget other;
  other.setFocusPolicy(Qt::StrongFocus);
  other.show();
  other.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
  view.focusCanvas();
  QCoreApplication::processEvents();
  EXPECT_FALSE(view.canvas()->hasFocus());
  present(*editor);
  view.canvas()->clearFocus();
  view.focusCanvas();
  EXPECT_FALSE(view.canvas()->hasFocus()); // one turn later, not at once
  QCoreApplication::processEvents();
  EXPECT_TRUE(view.canvas()->hasFocus());
}

// The keyboard belongs to the canvas from the moment the window opens: no
// control of the bars takes it, by click or by Tab, whatever the inspector
// shows, so Space pans instead of pressing a button.
TEST_F(EditorViewTest, OnlyTheCanvasTakesTheKeyboardFromTheStart) {
  FakePasteboard pasteboard;
  Pasteboard::overrideGeneral(&pasteboard);
  auto editor = makeSavedEditor();
  present(*editor);
  CanvasView *canvas = editor->view()->canvas();
  QCoreApplication::processEvents();
  EXPECT_EQ(QApplication::focusWidget(), canvas);
  CrelDocument &document = editor->document();
  document.commit({makeMark(MarkTool::arrow)});
  const auto takers = [&] {
    QStringList found;
    for (QWidget *w : editor->window()->findChildren<QWidget *>())
      if (w != canvas && w->focusPolicy() != Qt::NoFocus && !qobject_cast<InlineTextView *>(w))
        found << QString::fromLatin1(w->metaObject()->className()) + " " + w->objectName();
    return found.join(", ").toStdString();
  };
  for (const MarkTool tool : allCases<MarkTool>()) {
    document.selectTool(tool);
    QCoreApplication::processEvents();
    EXPECT_EQ(takers(), "") << rawValue(tool).toStdString();
  }
  document.setSelection(document.marks().front().id);
  QCoreApplication::processEvents();
  EXPECT_EQ(takers(), "") << "with a selected mark";

  for (const int key : {int(Qt::Key_Tab), int(Qt::Key_Space), int(Qt::Key_Backtab), int(Qt::Key_Space)})
    QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : editor->window(), Qt::Key(key));
  QCoreApplication::processEvents();
  EXPECT_TRUE(editor->window()->isVisible());
  EXPECT_EQ(QApplication::focusWidget(), canvas);
  EXPECT_TRUE(pasteboard.data.isEmpty() && !pasteboard.text);
  Pasteboard::overrideGeneral(nullptr);
}

// Counts the paint events of every widget of one window.
class PaintCounter : public QObject {
public:
  explicit PaintCounter(QWidget *window) : window_(window) { qApp->installEventFilter(this); }
  ~PaintCounter() override { qApp->removeEventFilter(this); }
  std::map<QString, int> counts;

protected:
  bool eventFilter(QObject *watched, QEvent *event) override {
    if (event->type() == QEvent::Paint && watched->isWidgetType() &&
        static_cast<QWidget *>(watched)->window() == window_)
      ++counts[QString::fromLatin1(watched->metaObject()->className()) + " " + watched->objectName()];
    return false;
  }

private:
  QWidget *window_;
};

// Nothing moves in an editor nobody touches, so nothing may paint: a paint
// handler that changes its widget's state, or an animation that never
// settles, keeps a processor core busy.
TEST_F(EditorViewTest, AnEditorLeftAloneNeverRepaints) {
  const std::pair<const char *, std::function<void(CrelDocument &)>> states[] = {
      {"fresh", [](CrelDocument &) {}},
      {"a selected arrow",
       [](CrelDocument &d) {
         d.commit({makeMark(MarkTool::arrow)});
         d.setSelection(d.marks().front().id);
       }},
      {"the text tool", [](CrelDocument &d) { d.selectTool(MarkTool::text); }},
  };
  for (const auto &[name, prepare] : states) {
    SCOPED_TRACE(name);
    auto editor = makeSavedEditor();
    present(*editor);
    prepare(editor->document());
    QTest::qWait(800); // first paints, the sliding tool highlight
    PaintCounter counter(editor->window());
    QTest::qWait(1000);
    for (const auto &[widget, count] : counter.counts)
      ADD_FAILURE() << widget.toStdString() << " painted " << count << " times";
  }
}

} // namespace
