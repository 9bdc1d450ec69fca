#include "EditorFixture.h"

#include "canvas/CanvasView.h"
#include "chrome/ChromeButton.h"
#include "chrome/ChromeSegmented.h"
#include "chrome/HintController.h"
#include "chrome/Motion.h"
#include "chrome/PrimaryActionButton.h"
#include "document/MarkSamples.h"
#include "editor/ActionsGroup.h"
#include "editor/AdaptiveStack.h"
#include "editor/BarModel.h"
#include "editor/DragPayload.h"
#include "editor/EditorView.h"
#include "editor/InspectorGroup.h"
#include "editor/ShortcutPopover.h"
#include "editor/StatusGroup.h"
#include "editor/ToolboxGroup.h"

#include <QAbstractAnimation>
#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMimeData>
#include <QScopeGuard>
#include <QToolTip>

using namespace crel;
using namespace crel::test;

namespace {

class BarTest : public EditorFixture {
protected:
  void SetUp() override {
    editor = makeEditor(EditorSize::large);
    present(*editor);
    settle();
  }
  // The bars refresh one turn after a document change.
  static void settle() {
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
  }
  EditorView &view() { return *editor->view(); }
  CrelDocument &document() { return editor->document(); }
  template <class T = QAbstractButton> T *control(const char *name) {
    auto *w = qobject_cast<T *>(findVisibleChild(&view(), QString::fromLatin1(name)));
    EXPECT_TRUE(w) << name;
    return w;
  }
  ChromeHint hintOf(const char *id) {
    view().hints().setPreviewHint(QString::fromLatin1(id));
    const auto anchor = view().hints().visibleAnchor();
    EXPECT_TRUE(anchor) << id;
    return anchor ? anchor->hint : ChromeHint{};
  }

  std::unique_ptr<EditorController> editor;
};

TEST_F(BarTest, EveryVisibleControlSitsInsideItsGroup) {
  Motion::setEnabled(false); // the bars at rest
  const auto restore = qScopeGuard([] { Motion::setEnabled(true); });
  for (MarkTool tool : {MarkTool::arrow, MarkTool::extract}) { // the extract tool's copy label is longer
    document().selectTool(tool);
    settle();
    for (BarGroup *group : view().groups())
      for (QWidget *child : group->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
        if (child->isVisibleTo(group)) {
          EXPECT_TRUE(group->rect().contains(child->geometry())) << child->objectName().toStdString();
        }
  }
}

TEST_F(BarTest, UndoAndRedoAreEnabledWhileThereIsSomethingToUndoOrRedo) {
  auto *undo = control("undo");
  auto *redo = control("redo");
  struct Step {
    const char *name;
    std::function<void()> act;
    bool undoEnabled, redoEnabled;
  };
  const Step steps[] = {
      {"fresh", [] {}, false, false},
      {"edit", [&] { document().commit({makeMark(MarkTool::arrow)}); }, true, false},
      {"undo", [&] { undo->click(); }, false, true},
      {"redo", [&] { redo->click(); }, true, false},
  };
  for (const Step &step : steps) {
    step.act();
    settle();
    EXPECT_EQ(undo->isEnabled(), step.undoEnabled) << step.name;
    EXPECT_EQ(redo->isEnabled(), step.redoEnabled) << step.name;
  }
  EXPECT_EQ(document().marks().size(), 1);
}

TEST_F(BarTest, TheHighlightFollowsTheCurrentToolNotTheSelectedMarksTool) {
  auto *toolbox = static_cast<ToolboxGroup *>(view().groups()[1]);
  const auto highlightOn = [&](MarkTool tool) {
    const auto r = toolbox->highlightRect();
    return r && *r == QRectF(toolbox->button(tool)->geometry());
  };
  control("tool-rectangle")->click();
  settle();
  EXPECT_EQ(document().tool(), MarkTool::rectangle);
  // It slides there and comes to rest on the button.
  EXPECT_TRUE(QTest::qWaitFor([&] { return highlightOn(MarkTool::rectangle); }, 2000));
  EXPECT_TRUE(toolbox->button(MarkTool::rectangle)->isSelected());

  // Selecting an arrow mark keeps the tool, so the highlight stays.
  const Mark arrow = makeMark(MarkTool::arrow);
  document().commit({arrow});
  document().selectMark(arrow, true);
  settle();
  EXPECT_EQ(document().activeTool(), MarkTool::arrow);
  EXPECT_TRUE(highlightOn(MarkTool::rectangle));
  EXPECT_FALSE(toolbox->button(MarkTool::arrow)->isSelected());

  document().selectTool(MarkTool::extract);
  settle();
  EXPECT_TRUE(QTest::qWaitFor([&] { return highlightOn(MarkTool::extract); }, 2000));
}

// The inspector's capsule springs to the active tool's width, passing
// through the widths between; with motion off it takes the new width at once.
TEST_F(BarTest, TheInspectorSpringsToTheActiveToolsWidth) {
  auto *inspector = static_cast<InspectorGroup *>(view().groups()[4]);
  struct WidthLog : QObject {
    QList<int> widths;
    bool eventFilter(QObject *watched, QEvent *event) override {
      if (event->type() == QEvent::Resize)
        widths.append(static_cast<QWidget *>(watched)->width());
      return false;
    }
  } log;
  inspector->installEventFilter(&log);
  const auto settled = [&] {
    return !inspector->isSpringing() &&
           inspector->width() == inspector->current()->sizeHint().width() + 2 * int(InspectorGroup::sidePadding);
  };
  // The animations' clock is the test's, counted from each start as Qt's
  // own: a loaded machine cannot end the spring between two resizes.
  struct SteppedClock : QAnimationDriver {
    qint64 now = 0, startedAt = 0;
    qint64 elapsed() const override { return now - startedAt; }
    void start() override {
      startedAt = now;
      QAnimationDriver::start();
    }
    void step(qint64 ms) {
      now += ms;
      advance();
      settle();
    }
  } clock;
  clock.install();
  const auto uninstall = qScopeGuard([&] { clock.uninstall(); });
  const auto restore = qScopeGuard([] { Motion::setEnabled(true); });
  for (const bool motion : {true, false}) {
    Motion::setEnabled(motion);
    for (const MarkTool tool : {MarkTool::select, MarkTool::arrow}) {
      log.widths.clear();
      const int before = inspector->width();
      document().selectTool(tool);
      settle();
      int between = before;
      if (motion) {
        ASSERT_TRUE(inspector->isSpringing()) << int(tool);
        clock.step(100);
        between = inspector->width();
        for (int steps = 0; steps < 20 && inspector->isSpringing(); ++steps)
          clock.step(50);
      }
      ASSERT_TRUE(QTest::qWaitFor([&] { return settled() && !log.widths.isEmpty(); }, 2000)) << int(tool);
      const int after = inspector->width();
      ASSERT_NE(before, after);
      if (motion) {
        EXPECT_TRUE(std::min(before, after) < between && between < std::max(before, after))
            << "springs through the widths between: " << before << ", " << between << ", " << after;
      } else {
        EXPECT_EQ(log.widths, QList<int>{after}) << "at once";
      }
    }
  }
}

TEST_F(BarTest, ZoomButtonsStepThroughTheZoomsAndShowRoundedPercentages) {
  auto *out = control("zoom-out");
  auto *fit = control("zoom-fit");
  auto *in = control("zoom-in");
  struct Step {
    QAbstractButton *press;
    QString label;
    bool outEnabled, inEnabled;
  };
  const Step steps[] = {{nullptr, "Fit", false, true},
                        {in, "150%", true, true},
                        {in, "225%", true, true},
                        {out, "150%", true, true},
                        {out, "Fit", false, true}};
  for (const Step &step : steps) {
    if (step.press)
      step.press->click();
    settle();
    EXPECT_EQ(fit->text(), step.label);
    EXPECT_EQ(out->isEnabled(), step.outEnabled) << step.label.toStdString();
    EXPECT_EQ(in->isEnabled(), step.inEnabled) << step.label.toStdString();
  }
  EXPECT_EQ(document().zoom(), 1.0);
  EXPECT_EQ(fit->accessibleDescription(), "Fit");

  // Zooms reached otherwise (a pinch, the keyboard).
  const struct {
    double zoom;
    QString label, value;
    bool outEnabled, inEnabled;
  } set[] = {{1.004, "100%", "100 percent of Fit", true, true},
             {1.125, "113%", "113 percent of Fit", true, true},
             {12, "1200%", "1200 percent of Fit", true, false}};
  for (const auto &z : set) {
    document().setZoom(z.zoom);
    settle();
    EXPECT_EQ(fit->text(), z.label);
    EXPECT_EQ(fit->accessibleDescription(), z.value);
    EXPECT_EQ(out->isEnabled(), z.outEnabled) << z.zoom;
    EXPECT_EQ(in->isEnabled(), z.inEnabled) << z.zoom;
  }
  EXPECT_EQ(hintOf("zoom-out").shortcut, "Ctrl+\u2212");
}

TEST_F(BarTest, FitResetsZoomAndPanAndZoomButtonsActOnlyInTheActiveWindow) {
  document().setZoom(1);
  document().setPan({30, -20});
  control("zoom-fit")->click();
  EXPECT_EQ(document().pan(), QSizeF(0, 0));

  QWidget other;
  other.show();
  other.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
  control("zoom-in")->click();
  EXPECT_EQ(document().zoom(), 1.0);
  present(*editor);
  control("zoom-in")->click();
  EXPECT_EQ(document().zoom(), 1.5);
}

TEST_F(BarTest, SaveStatesAndTheirTooltipsFollowTheDocument) {
  QTemporaryDir folder;
  using BarModel::SaveState;
  struct Case {
    const char *name;
    std::function<void(CrelDocument &)> prepare;
    SaveState state;
    QString help;
  };
  const Case cases[] = {
      {"no folder", [](CrelDocument &) {}, SaveState::notSaved, "Your screenshot stays on this computer."},
      {"written", [&](CrelDocument &d) { d.enableAutosave(folder.path(), "Shot"); }, SaveState::saved,
       QString("Saved automatically to %1. Export size 1280 \u00D7 720 px.").arg(folder.filePath("Shot.png"))},
      {"changed since",
       [&](CrelDocument &d) {
         d.enableAutosave(folder.path(), "Edited");
         d.commit({makeMark(MarkTool::arrow)});
       },
       SaveState::saving,
       QString("Saved automatically to %1. Export size 1280 \u00D7 720 px.").arg(folder.filePath("Edited.png"))},
      {"failing folder",
       [&](CrelDocument &d) {
         try {
           d.enableAutosave(unwritableFolder(folder), "Shot");
         } catch (const std::exception &) {
         }
       },
       SaveState::error, "Your screenshot stays on this computer."},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    QuietDocument d(screenshotImage(), annotation);
    c.prepare(d);
    EXPECT_EQ(BarModel::saveState(d), c.state);
    EXPECT_EQ(BarModel::saveHelp(d), c.help);
  }
}

// A control's longer help shows in the chrome's own bubble, not in a plain
// tooltip of another look beside the hints, and follows the help's text.
TEST_F(BarTest, HelpTextsShowInTheChromeHintBubble) {
  QWidget *label = findVisibleChild(&view(), "save-label-detailed");
  ASSERT_TRUE(label);
  QHelpEvent help(QEvent::ToolTip, label->rect().center(), label->mapToGlobal(label->rect().center()));
  QCoreApplication::sendEvent(label, &help);
  QCoreApplication::processEvents();
  EXPECT_FALSE(QToolTip::isVisible());
  auto anchor = view().hints().visibleAnchor();
  ASSERT_TRUE(anchor);
  EXPECT_EQ(anchor->control, label);
  EXPECT_EQ(anchor->hint.title, label->toolTip());
  EXPECT_EQ(anchor->hint.edge, ChromeHint::Edge::top) << "bottom-bar bubbles open above";
  document().enableAutosave(saveFolder.path(), "Shot");
  settle();
  anchor = view().hints().visibleAnchor();
  ASSERT_TRUE(anchor);
  EXPECT_TRUE(anchor->hint.title.startsWith("Saved automatically to ")) << anchor->hint.title.toStdString();
}

TEST_F(BarTest, StatusFallsBackToNarrowerFormsAndShowsTheErrorRowAfterAFailedSave) {
  auto *status = static_cast<StatusGroup *>(view().groups()[5]);
  const QList<double> widths = status->candidateWidths();
  ASSERT_EQ(widths.size(), 4);
  EXPECT_TRUE(std::is_sorted(widths.rbegin(), widths.rend()));
  struct Expect {
    bool picker, detailed, menu;
  };
  const Expect forms[] = {{true, true, false}, {true, false, false}, {false, false, true}, {false, false, false}};
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    // Offered exactly a form's width, or a little less than the wider one.
    for (const double offered : {widths[i], i > 0 ? widths[i - 1] - 1 : widths[0] + 50}) {
      status->resize(status->sizeFor(offered, 40).toSize());
      EXPECT_EQ(status->width(), int(widths[i]));
      QWidget *style = findVisibleChild(status, "annotation-style");
      EXPECT_EQ(qobject_cast<ChromeSegmented *>(style) != nullptr, forms[i].picker);
      EXPECT_EQ(style != nullptr && !forms[i].picker, forms[i].menu);
      EXPECT_EQ(findVisibleChild(status, "save-label-detailed") != nullptr, forms[i].detailed);
      EXPECT_TRUE(findVisibleChild(status, "shortcuts"));
    }
  }
  EXPECT_EQ(status->sizeFor(0, 40).width(), widths.last()); // never narrower than the symbol

  EXPECT_THROW(document().enableAutosave(unwritableFolder(saveFolder), "Shot"), std::exception);
  settle();
  EXPECT_FALSE(findVisibleChild(status, "annotation-style"));
  EXPECT_TRUE(findVisibleChild(status, "save-error"));
  auto *choose = control("choose-folder");
  EXPECT_EQ(choose->text(), "Choose folder\u2026");
  EXPECT_TRUE(status->rect().contains(choose->geometry()));
}

TEST_F(BarTest, ChoosingAStyleChangesTheDocumentOnlyWhenItDiffers) {
  view().groups()[5]->resize(view().groups()[5]->sizeFor(1000, 40).toSize());
  auto *picker = control<ChromeSegmented>("annotation-style");
  ASSERT_TRUE(picker);
  const auto steps = document().history().size();
  const AnnotationStyle current = document().annotationStyle();
  picker->segment(int(current))->click();
  EXPECT_EQ(document().history().size(), steps);
  picker->segment(1 - int(current))->click();
  EXPECT_EQ(document().history().size(), steps + 1);
  settle();
  EXPECT_EQ(picker->selection(), 1 - int(current));
}

// The popover shows the whole guide with what the window's owner hands in,
// above its button and inside the editor window.
TEST_F(BarTest, TheKeyboardButtonTogglesItsPopoverWithTheWholeGuideInsideTheWindow) {
  view().setShortcutGuide([] {
    return ShortcutGuideView::Content{"Capture anywhere: Ctrl+Shift+2. Change it in Settings.",
                                      ShortcutPopover::toolRows(),
                                      {{"Undo", "Ctrl+Z", {}}}};
  });
  auto *status = static_cast<StatusGroup *>(view().groups()[5]);
  auto *keyboard = control("shortcuts");
  keyboard->click();
  ASSERT_TRUE(status->popover());
  EXPECT_TRUE(status->showsShortcuts());
  EXPECT_TRUE(status->popover()->isVisible());
  // Above the button, inside the window.
  const QRect popover = status->popover()->geometry();
  EXPECT_LE(popover.bottom(), keyboard->mapToGlobal(QPoint(0, 0)).y());
  QWidget *window = keyboard->window();
  EXPECT_TRUE(QRect(window->mapToGlobal(QPoint(0, 0)), window->size()).contains(popover))
      << popover.x() << "," << popover.y() << " " << popover.width() << "x" << popover.height();
  QStringList titles;
  for (const QLabel *label : status->popover()->findChildren<QLabel *>("row-title"))
    titles << label->text();
  EXPECT_EQ(titles.size(), 13 + 1 + 1) << "tools, the menu row, the pixel colour";
  EXPECT_TRUE(titles.contains("Undo"));
  EXPECT_EQ(status->popover()->findChild<QLabel *>("capture-line")->text(),
            "Capture anywhere: Ctrl+Shift+2. Change it in Settings.");
  EXPECT_FALSE(status->popover()->findChildren<QLabel *>("gestures").isEmpty());
  keyboard->click();
  EXPECT_FALSE(status->showsShortcuts());
  EXPECT_FALSE(status->popover()->isVisible());
  keyboard->click();
  status->popover()->close(); // dismissed from outside
  EXPECT_FALSE(status->showsShortcuts());
  keyboard->click();
  EXPECT_TRUE(status->popover()->isVisible());
  status->popover()->close();
}

// Pressed, the capsule shrinks to 0.975 about its centre, its label too.
TEST_F(BarTest, TheCopyLabelShrinksWithItsPressedCapsule) {
  QAbstractButton *copy = static_cast<ActionsGroup *>(view().groups()[2])->copyButton();
  // How far the label lies from the button's middle: the mean distance of
  // its pixels, weighted by how much lighter than the capsule they are (so
  // the press's uniform darkening does not count).
  const auto spread = [&](bool down) {
    copy->setDown(down);
    const QImage image = copy->grab().toImage();
    copy->setDown(false);
    double sum = 0, weight = 0;
    const int h = image.height();
    for (int y = h / 5; y < h - h / 5; ++y) {               // clear of what the press uncovers
      const int capsule = image.pixelColor(h / 3, y).red(); // left of the label
      for (int x = 6; x < image.width() - 6; ++x) {
        const double w = std::max(0, image.pixelColor(x, y).red() - capsule);
        sum += w * std::abs(x + 0.5 - image.width() / 2.0);
        weight += w;
      }
    }
    return sum / weight;
  };
  const double ratio = spread(true) / spread(false);
  EXPECT_NEAR(ratio, 0.975, 0.01);
}

TEST_F(BarTest, RevealIsEnabledOnlyWithASavedFile) {
  auto *reveal = control("reveal-image");
  EXPECT_FALSE(reveal->isEnabled());
  document().enableAutosave(saveFolder.path(), "Shot");
  settle();
  EXPECT_TRUE(reveal->isEnabled());
  EXPECT_EQ(hintOf("reveal").title, "Show in File Manager") << "the menus' name for it";
}

TEST(DragThumbnail, TheLongerSideIs24AndTheAspectIsClamped) {
  const struct {
    QSize pixels;
    QSizeF frame;
  } cases[] = {{{3000, 1000}, {24, 12}},
               {{300, 1000}, {12, 24}},
               {{500, 500}, {24, 24}},
               {{1600, 1000}, {24, 15}},
               {{50, 0}, {24, 12}}};
  for (const auto &c : cases)
    EXPECT_EQ(BarModel::thumbnailSize(c.pixels), c.frame) << c.pixels.width() << "x" << c.pixels.height();
}

TEST_F(BarTest, DraggingCarriesTheSavedFileElsePngDataElseNothing) {
  // Saved: the file's URL, named by the file.
  document().enableAutosave(saveFolder.path(), "Shot");
  document().commit({makeMark(MarkTool::arrow)});
  auto saved = DragPayload::make(document());
  ASSERT_EQ(saved->urls().size(), 1);
  EXPECT_EQ(saved->urls()[0], QUrl::fromLocalFile(saveFolder.filePath("Shot.png")));
  EXPECT_FALSE(document().isDirty()); // the pending change was written first

  // A later save that fails (a folder stands where the writer's temporary
  // file goes; the old file stays): the canvas as it is now, grown by the
  // new mark, never the stale file.
  ASSERT_TRUE(QDir().mkdir(saveFolder.filePath(".Shot.png.crel-tmp")));
  document().commit({makeMark(MarkTool::rectangle, {1200, 10}, {1400, 40})});
  auto current = DragPayload::make(document());
  EXPECT_TRUE(current->urls().isEmpty());
  EXPECT_EQ(QImage::fromData(current->data("image/png"), "PNG").width(),
            int(document().expandedBounds(document().marks()).width()));

  // A save that fails: the picture as PNG data.
  QuietDocument unsaved(screenshotImage({400, 300}), annotation);
  EXPECT_THROW(unsaved.enableAutosave(unwritableFolder(saveFolder), "Shot"), std::exception);
  auto png = DragPayload::make(unsaved);
  EXPECT_TRUE(png->urls().isEmpty());
  EXPECT_EQ(QImage::fromData(png->data("image/png"), "PNG").size(), QSize(400, 300));

  // A canvas too large to render: nothing.
  QuietDocument huge(screenshotImage({400, 300}), annotation);
  huge.commit({makeMark(MarkTool::rectangle, {10, 10}, {40000, 40})});
  auto nothing = DragPayload::make(huge);
  EXPECT_TRUE(nothing->formats().isEmpty());
}

} // namespace
