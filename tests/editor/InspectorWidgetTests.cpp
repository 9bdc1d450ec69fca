#include "EditorFixture.h"

#include "chrome/ChromeSegmented.h"
#include "chrome/InkSwatch.h"
#include "editor/InkColorPanel.h"
#include "editor/InspectorControls.h"
#include "editor/InspectorGroup.h"
#include "editor/InspectorWidget.h"
#include "platform/clipboard/Pasteboard.h"
#include "platform/text/FakeTextRecognizer.h"

#include <QAbstractButton>
#include <QMenu>

#include <numbers>

using namespace crel;
using test::QuietDocument;
using test::sampleMark;

namespace {

class NoPanel : public ColorPanelBackend {
public:
  void present(const QColor &) override {}
};

class InspectorWidgetTest : public ::testing::Test {
protected:
  InspectorWidgetTest() { document.setTool(MarkTool::arrow); }

  // A form of the inspector over the document, focus handed back counted.
  std::unique_ptr<InspectorWidget> inspector(bool compact = false) {
    return std::make_unique<InspectorWidget>(document, compact,
                                             InspectorHooks{[this] { ++focusCalls; }, nullptr, &panel, &pasteboard});
  }
  Mark addSelected(MarkTool tool) {
    const Mark m = sampleMark(tool, {20, 20}, {120, 80});
    document.commit(document.marks() + QList<Mark>{m});
    document.selectMark(m, false);
    return m;
  }
  static void click(InspectorWidget &w, const QString &key, int segment = -1) {
    QWidget *control = w.control(key);
    ASSERT_NE(control, nullptr) << qPrintable(key);
    if (segment >= 0)
      static_cast<ChromeSegmented *>(control)->segment(segment)->click();
    else
      static_cast<QAbstractButton *>(control)->click();
  }
  static void choose(InspectorWidget &w, const QString &key, const QString &title) {
    auto *button = qobject_cast<InspectorMenuButton *>(w.control(key));
    ASSERT_NE(button, nullptr) << qPrintable(key);
    QAction *item = test::menuItem(*button->menu(), title);
    ASSERT_NE(item, nullptr) << qPrintable(title);
    item->trigger();
  }
  const Mark &mark(int index = 0) const { return document.marks()[index]; }

  test::TemporarySettings settings;
  AnnotationPreferences preferences{settings.store()};
  QuietDocument document{test::screenshotImage({400, 300}), preferences};
  InkColorPanel panel{std::make_unique<NoPanel>()};
  FakePasteboard pasteboard;
  int focusCalls = 0;
};

} // namespace

TEST_F(InspectorWidgetTest, PresetOnASelectedArrowIsOneUndoStep) {
  addSelected(MarkTool::arrow);
  const auto w = inspector();
  const qsizetype before = document.history().size();
  click(*w, "weight-presets", 2);
  EXPECT_EQ(mark().width, 22);
  EXPECT_EQ(document.history().size(), before + 1);
  EXPECT_EQ(focusCalls, 1);
  choose(*w, "weight-menu", "Large");
  EXPECT_EQ(mark().arrowHeadScale, 1.35);
  EXPECT_EQ(document.history().size(), before + 2);
  document.undo();
  document.undo();
  EXPECT_EQ(mark().width, 6);
}

TEST_F(InspectorWidgetTest, ModeSwitchDeselectsAndMakesTheToolCurrent) {
  Mark highlight = sampleMark(MarkTool::highlight, {20, 20}, {120, 40});
  highlight.highlightMode = HighlightMode::area;
  document.commit({highlight});
  document.selectMark(highlight, false);
  const auto w = inspector();
  ASSERT_EQ(w->control("weight-presets"), nullptr);
  const qsizetype before = document.history().size();
  click(*w, "highlight-mode", 1);
  EXPECT_EQ(document.selection(), std::nullopt);
  EXPECT_EQ(document.tool(), MarkTool::highlight);
  EXPECT_EQ(document.highlightMode(), HighlightMode::marker);
  EXPECT_EQ(mark().highlightMode, HighlightMode::area);
  EXPECT_EQ(document.history().size(), before);
  w->refresh();
  ASSERT_NE(w->description().find("weight-presets"), nullptr);
  EXPECT_EQ(w->description().find("rotation-menu"), nullptr);
  click(*w, "highlight-mode", 0);
  w->refresh();
  EXPECT_EQ(w->control("weight-presets"), nullptr);
  EXPECT_EQ(w->description().controls.last().key, "opacity-menu"); // the note follows only once recognition ran
}

TEST_F(InspectorWidgetTest, ReconcilingKeepsTheWidgetsOfUnchangedControls) {
  addSelected(MarkTool::line);
  const auto w = inspector();
  QList<QWidget *> before;
  for (const InspectorControl &c : w->description().controls)
    before << w->control(c.key);
  document.setStroke(14);
  QTest::qWait(0); // the queued refresh
  QList<QWidget *> after;
  for (const InspectorControl &c : w->description().controls)
    after << w->control(c.key);
  EXPECT_EQ(after, before);
  EXPECT_EQ(w->description().find("weight-menu")->text, "14");
  EXPECT_EQ(static_cast<ChromeSegmented *>(w->control("weight-presets"))->selection(), std::nullopt);
  const QList<InkSwatch *> swatches = w->control("ink-palette")->findChildren<InkSwatch *>();
  document.setInk(Ink::palette()[3]);
  w->refresh();
  EXPECT_EQ(w->control("ink-palette"), before.first());
  EXPECT_EQ(w->control("ink-palette")->findChildren<InkSwatch *>(), swatches);
  EXPECT_TRUE(swatches[3]->isSelected());
}

TEST_F(InspectorWidgetTest, OpacityAndRotationMenusActOnTheSelection) {
  addSelected(MarkTool::highlight);
  const auto w = inspector(true);
  const qsizetype start = document.history().size();
  choose(*w, "opacity-menu", "65%");
  EXPECT_EQ(document.highlightOpacity(), 0.65);
  EXPECT_EQ(mark().opacity, 0.65);
  EXPECT_EQ(document.history().size(), start + 1);

  choose(*w, "rotation-menu", "Rotate Left 15°");
  choose(*w, "rotation-menu", "Rotate Left 15°");
  w->refresh();
  EXPECT_EQ(w->description().find("rotation-menu")->text, "-30 degrees");
  choose(*w, "rotation-menu", "Reset Rotation");
  EXPECT_EQ(mark().rotation, std::nullopt);
  EXPECT_EQ(document.history().size(), start + 4);
  for (int i = 0; i < 4; ++i)
    choose(*w, "rotation-menu", "Rotate Right 90°");
  EXPECT_EQ(mark().rotation, std::nullopt);
  EXPECT_EQ(document.selection(), mark().id);
}

TEST_F(InspectorWidgetTest, DuplicateAndDeleteFollowTheSelection) {
  addSelected(MarkTool::rectangle);
  const auto w = inspector(true);
  click(*w, "duplicate");
  ASSERT_EQ(document.marks().size(), 2);
  EXPECT_EQ(document.selection(), mark(1).id);
  w->refresh();
  ASSERT_NE(w->control("delete"), nullptr);
  click(*w, "delete");
  EXPECT_EQ(document.marks().size(), 1);
  EXPECT_EQ(document.selection(), std::nullopt);
  w->refresh();
  EXPECT_EQ(w->control("delete"), nullptr);
  EXPECT_EQ(w->control("rotation-menu"), nullptr);
}

TEST_F(InspectorWidgetTest, LockButtonIsTheFullSwitchToRedact) {
  document.selectTool(MarkTool::redact);
  document.setInk(Ink::palette()[5]);
  document.setStroke(9);
  document.selectTool(MarkTool::blur);
  const auto w = inspector();
  click(*w, "blur-privacy");
  EXPECT_EQ(document.tool(), MarkTool::redact);
  EXPECT_EQ(document.ink(), Ink::palette()[5]);
  EXPECT_EQ(document.stroke(), 9);
}

TEST_F(InspectorWidgetTest, CustomSwatchOpensThePanelWithoutTakingFocus) {
  const auto w = inspector();
  QWidget *palette = w->control("ink-palette");
  ASSERT_NE(palette, nullptr);
  auto *custom = palette->findChild<CustomInkSwatch *>();
  ASSERT_NE(custom, nullptr);
  custom->click();
  EXPECT_EQ(panel.document(), &document);
  EXPECT_EQ(focusCalls, 0);
}

TEST_F(InspectorWidgetTest, GroupShowsTheWideFormWhenItFits) {
  InspectorGroup group(document, {});
  group.show();
  const double wide = group.sizeFor(std::nullopt, std::nullopt).width();
  const double compact = group.sizeFor(wide - 1, std::nullopt).width();
  EXPECT_LT(compact, wide);
  EXPECT_EQ(group.sizeFor(wide, std::nullopt).width(), wide);
  group.resize(int(compact), 40);
  EXPECT_EQ(group.current(), group.compact());
  EXPECT_TRUE(group.compact()->isVisibleTo(&group));
  EXPECT_FALSE(group.wide()->isVisibleTo(&group));
  EXPECT_EQ(group.accessibleName(), "Arrow options");
}

TEST(InspectorWords, SelectAllTakesOnlyUncoveredWordsAndCopyWritesThem) {
  auto recognizer = std::make_shared<FakeTextRecognizer>();
  recognizer->setObservations({{{{"alpha", {10, 10, 40, 20}}, {"beta", {60, 10, 50, 20}}}, {10, 10, 100, 20}, 0.9f},
                               {{{"gamma", {10, 50, 60, 20}}}, {10, 50, 60, 20}, 0.9f}});
  TextRecognizer::setShared(recognizer);
  test::TemporarySettings settings;
  AnnotationPreferences preferences(settings.store());
  CrelDocument document(test::screenshotImage({200, 100}), preferences);
  document.selectTool(MarkTool::extract);
  TextRecognizer::waitForBackgroundWork();
  for (int i = 0; i < 100 && document.recognizing(); ++i)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  ASSERT_EQ(document.recognizedText().words.size(), 3);
  document.commit({sampleMark(MarkTool::redact, {5, 5}, {52, 32})}); // covers "alpha"
  FakePasteboard pasteboard;
  InspectorWidget w(document, false, {nullptr, nullptr, nullptr, &pasteboard});
  EXPECT_FALSE(w.control("copy-text")->isEnabled());
  static_cast<QAbstractButton *>(w.control("select-all"))->click();
  ASSERT_EQ(document.selectedWords().size(), 2);
  EXPECT_EQ(document.selectedWords().first().text, "beta");
  w.refresh();
  EXPECT_EQ(w.description().find("extract-summary")->text, "Selected words: 2");
  static_cast<QAbstractButton *>(w.control("copy-text"))->click();
  EXPECT_EQ(pasteboard.text, QString("beta\ngamma"));
  w.refresh();
  EXPECT_EQ(static_cast<QAbstractButton *>(w.control("copy-text"))->text(), "Copied");
  TextRecognizer::setShared(nullptr);
}
