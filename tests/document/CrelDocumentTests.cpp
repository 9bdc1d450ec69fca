#include "MarkSamples.h"

#include "support/TestSupport.h"

#include "document/AnnotationPreferences.h"
#include "document/CrelDocument.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

using namespace crel;
using test::makeMark;

namespace {

class DocumentTest : public ::testing::Test {
protected:
  DocumentTest() : preferences(settings.store()) {
    QImage image = test::filledImage({200, 100}, Qt::white);
    doc = std::make_unique<CrelDocument>(image, preferences);
  }

  QList<Mark> withAppended(const Mark &m) const {
    QList<Mark> marks = doc->marks();
    marks.append(m);
    return marks;
  }

  test::TemporarySettings settings;
  AnnotationPreferences preferences;
  std::unique_ptr<CrelDocument> doc;
  const int typing = 0, other = 0; // addresses serve as edit bracket owners
};

} // namespace

TEST_F(DocumentTest, StatusTextsAreLookedUpInTheProjectTranslationContext) {
  test::ProjectContextTranslator translator;
  CrelDocument fresh(doc->image(), preferences);
  EXPECT_TRUE(fresh.status().startsWith("[Crel] ")) << qPrintable(fresh.status());
}

// Per-tool memory is a self-check; here the highlighter's own defaults and the
// select tool, which keeps what is set.
TEST_F(DocumentTest, TheHighlighterStartsInLemonAndSelectKeepsTheSettings) {
  doc->selectTool(MarkTool::highlight);
  EXPECT_EQ(doc->ink(), Ink::lemon());
  EXPECT_EQ(doc->stroke(), 40);
  doc->selectTool(MarkTool::arrow);
  doc->setStroke(50);
  doc->setInk(Ink::palette()[2]);
  doc->selectTool(MarkTool::select);
  EXPECT_EQ(doc->stroke(), 50);
  EXPECT_EQ(doc->ink(), Ink::palette()[2]);
  EXPECT_EQ(doc->status(), hint(MarkTool::select));
}

TEST_F(DocumentTest, ChoosingAToolFinishesTextAndClearsTheSelection) {
  int finished = 0;
  doc->finishTextEditing = [&] { ++finished; };
  const Mark m = makeMark(MarkTool::rectangle);
  doc->commit({m});
  doc->selectMark(m, false);
  doc->selectTool(MarkTool::text);
  EXPECT_EQ(finished, 1);
  EXPECT_FALSE(doc->selection());
}

TEST_F(DocumentTest, SetterClamps) {
  doc->setStroke(0);
  EXPECT_EQ(doc->stroke(), 1);
  doc->setStroke(NAN);
  EXPECT_EQ(doc->stroke(), 1);
  doc->setStroke(500);
  EXPECT_EQ(doc->stroke(), 500);
  doc->selectTool(MarkTool::step);
  doc->setStroke(0);
  EXPECT_EQ(doc->stroke(), 16);

  doc->setBlur(std::nullopt, 2);
  EXPECT_EQ(doc->blurStrength(), 4);
  doc->setBlur(std::nullopt, 200);
  EXPECT_EQ(doc->blurStrength(), 96);
  doc->setBlur(std::nullopt, NAN);
  EXPECT_EQ(doc->blurStrength(), 4);
  doc->setHighlightOpacity(7); // published unclamped
  EXPECT_EQ(doc->highlightOpacity(), 7);
}

TEST_F(DocumentTest, SettersApplyToTheSelectedMarkOfTheMatchingTool) {
  Mark blur = makeMark(MarkTool::blur);
  Mark arrow = makeMark(MarkTool::arrow);
  doc->commit({blur, arrow});
  doc->setSelection(blur.id);
  doc->setBlur(BlurEffect::pixelate, std::nullopt);
  EXPECT_EQ(doc->marks()[0].blurEffect, BlurEffect::pixelate);
  EXPECT_EQ(doc->marks()[0].blurStrength, 16.0); // takes the current strength too

  doc->setSelection(arrow.id);
  const qsizetype steps = doc->history().size();
  doc->setFontSize(72);
  EXPECT_EQ(doc->fontSize(), 72);
  EXPECT_EQ(doc->history().size(), steps); // no step: the arrow has no font size to take
  doc->setArrowHeadScale(2);
  EXPECT_EQ(doc->marks()[1].arrowHeadScale, 2);
  EXPECT_EQ(doc->history().size(), steps + 1);
}

TEST_F(DocumentTest, SelectMarkMirrorsItsSettings) {
  Mark highlight = makeMark(MarkTool::highlight);
  doc->selectMark(highlight, true);
  EXPECT_EQ(doc->tool(), MarkTool::arrow);
  EXPECT_EQ(doc->highlightOpacity(), 0.35);
  EXPECT_EQ(doc->highlightMode(), HighlightMode::marker);
  EXPECT_EQ(doc->status(), "Highlight selected. Drag to move; use the round handle above to rotate. Shift snaps "
                           "rotation to 15° steps.");

  Mark redact = makeMark(MarkTool::redact);
  redact.regions = QList<geom::Rect>{{0, 0, 4, 4}};
  doc->selectMark(redact, false);
  EXPECT_EQ(doc->tool(), MarkTool::select);
  EXPECT_EQ(doc->redactMode(), HighlightMode::text);
  EXPECT_EQ(doc->activeTool(), MarkTool::select); // the mark is not in the list
}

TEST_F(DocumentTest, ActiveToolAndNextStep) {
  EXPECT_EQ(doc->nextStep(), 1);
  Mark a = makeMark(MarkTool::step), b = makeMark(MarkTool::step), c = makeMark(MarkTool::step);
  a.number = 1;
  b.number = 5;
  c.number = 2;
  doc->commit({a, b, c, makeMark(MarkTool::step)});
  EXPECT_EQ(doc->nextStep(), 6);
  doc->setSelection(QUuid::createUuid());
  EXPECT_EQ(doc->activeTool(), doc->tool());
  doc->setSelection(b.id);
  EXPECT_EQ(doc->activeTool(), MarkTool::step);
}

TEST_F(DocumentTest, HistoryIsCappedAndCommitClearsRedo) {
  for (int i = 0; i < 101; ++i)
    doc->commit(withAppended(makeMark(MarkTool::line)));
  EXPECT_EQ(doc->history().size(), 100);
  EXPECT_EQ(doc->history().first().marks.size(), 1); // the empty start is gone

  const qsizetype before = doc->history().size();
  doc->commit(doc->marks()); // equal array: no step
  EXPECT_EQ(doc->history().size(), before);

  doc->undo();
  EXPECT_EQ(doc->future().size(), 1);
  doc->commit(doc->marks()); // still equal: redo survives
  EXPECT_EQ(doc->future().size(), 1);
  doc->commit(withAppended(makeMark(MarkTool::line)));
  EXPECT_TRUE(doc->future().isEmpty());
}

// The same style on marks that already carry it: no step, but stored.
TEST_F(DocumentTest, RechoosingTheStyleMarksCarryIsNoStepButIsStored) {
  doc->commit({makeMark(MarkTool::arrow)});
  doc->setStyle(AnnotationStyle::doodle);
  const qsizetype steps = doc->history().size();
  settings.store().remove("annotationStyle");
  doc->setStyle(AnnotationStyle::doodle);
  EXPECT_EQ(doc->history().size(), steps);
  EXPECT_EQ(settings.store().stringForKey("annotationStyle"), QString("doodle"));
}

TEST_F(DocumentTest, EditBrackets) {
  const Mark m = makeMark(MarkTool::text);
  doc->commit({m});
  doc->undo();
  doc->redo();
  doc->undo(); // future holds one state
  ASSERT_EQ(doc->future().size(), 1);

  // Unchanged: no step, redo given back.
  doc->beginEditing();
  doc->commit({m});
  doc->commit({});
  doc->endEditing(false);
  EXPECT_EQ(doc->future().size(), 1);
  EXPECT_TRUE(doc->history().isEmpty());

  // Changed: one step; canUndo inside the bracket with an empty history.
  doc->beginEditing();
  doc->commit({m});
  doc->beginEditing(); // keeps the first baseline
  Mark edited = m;
  edited.text = "typed";
  doc->commit({edited});
  EXPECT_TRUE(doc->history().isEmpty());
  EXPECT_TRUE(doc->canUndo());
  doc->endEditing(false);
  EXPECT_EQ(doc->history().size(), 1);
  EXPECT_TRUE(doc->history().last().marks.isEmpty());

  // Cancelled: back to the start, redo stack restored, no step.
  doc->undo();
  doc->beginEditing();
  doc->commit({edited});
  doc->endEditing(true);
  EXPECT_TRUE(doc->marks().isEmpty());
  EXPECT_EQ(doc->future().size(), 1);
  EXPECT_TRUE(doc->history().isEmpty());
  doc->endEditing(true); // no bracket: nothing
}

// Owned or not, an undo before the bracket ends (a colour panel drag before
// its settle delay) makes the bracket's change a step and undoes that step.
TEST_F(DocumentTest, UndoDuringAnOpenBracketClosesItFirst) {
  for (const void *owner : {static_cast<const void *>(nullptr), static_cast<const void *>(&typing)}) {
    SCOPED_TRACE(owner ? "owned" : "unowned");
    doc = std::make_unique<CrelDocument>(doc->image(), preferences);
    const Mark m = makeMark(MarkTool::rectangle);
    doc->commit({m});
    doc->setSelection(m.id);
    doc->beginEditing(owner);
    doc->setInk(Ink::palette()[3]);
    doc->undo();
    EXPECT_FALSE(doc->isEditing());
    EXPECT_EQ(doc->marks(), QList<Mark>{m});
    doc->endEditing(false, owner); // the late end finds nothing left to close
    doc->endEditing(true, owner);
    EXPECT_EQ(doc->marks(), QList<Mark>{m});
    doc->undo();
    EXPECT_TRUE(doc->marks().isEmpty()); // goes backwards, not forwards
    doc->redo();
    doc->redo();
    EXPECT_EQ(doc->marks()[0].ink, Ink::palette()[3]);
  }
}

TEST_F(DocumentTest, SelectionOperationsAndUndoRedoClearTheSelection) {
  Mark a = makeMark(MarkTool::rectangle), b = makeMark(MarkTool::ellipse);
  doc->commit({a, b});
  doc->setSelection(b.id);
  const qsizetype steps = doc->history().size();
  doc->reorderSelection(true); // already front
  EXPECT_EQ(doc->history().size(), steps);
  doc->reorderSelection(false);
  EXPECT_EQ(doc->marks()[0].id, b.id);
  doc->deleteSelection();
  EXPECT_EQ(doc->marks(), QList<Mark>{a});
  EXPECT_FALSE(doc->selection());
  doc->undo();
  EXPECT_EQ(doc->marks()[0].id, b.id);
  EXPECT_FALSE(doc->selection());
  doc->setSelection(b.id);
  doc->redo();
  EXPECT_EQ(doc->marks(), QList<Mark>{a});
  EXPECT_FALSE(doc->selection());
  doc->redo(); // empty stack: nothing
  EXPECT_EQ(doc->marks(), QList<Mark>{a});
  doc->setSelection(QUuid::createUuid());
  const qsizetype now = doc->history().size();
  doc->deleteSelection(); // names no mark: no step, selection cleared
  EXPECT_EQ(doc->history().size(), now);
  EXPECT_FALSE(doc->selection());
}

TEST_F(DocumentTest, DarkBackground) {
  const QImage image = test::generatedImage(
      {100, 100}, [](int, int y) { return y < 50 ? qRgb(0, 0, 0) : qRgb(255, 255, 255); }, QImage::Format_RGB32);
  CrelDocument d(image, preferences);
  EXPECT_TRUE(d.darkBackground({10, 10, 20, 20}));
  EXPECT_FALSE(d.darkBackground({10, 60, 20, 20}));
  EXPECT_FALSE(d.darkBackground({200, 200, 20, 20}));
  EXPECT_TRUE(d.darkBackground({-50, -50, 60.5, 60.5})); // clipped to the image, rounded outward
}

TEST_F(DocumentTest, DuplicateOffsetsRenumbersStepsAndSelectsTheCopy) {
  Mark three = makeMark(MarkTool::step), seven = makeMark(MarkTool::step);
  three.number = 3;
  seven.number = 7;
  doc->commit({three, seven});
  doc->setSelection(three.id);
  doc->duplicateSelection();
  ASSERT_EQ(doc->marks().size(), 3);
  const Mark copy = doc->marks().last();
  EXPECT_NE(copy.id, three.id);
  EXPECT_EQ(copy.number, 8);
  EXPECT_EQ(copy.start, three.start + QPointF(16, 16));
  EXPECT_EQ(doc->selection(), copy.id);
  EXPECT_EQ(doc->tool(), MarkTool::select);
  doc->duplicateSelection(); // from the first copy
  EXPECT_EQ(doc->marks().last().start, three.start + QPointF(32, 32));
}

TEST_F(DocumentTest, FourQuarterTurnsLeaveNoRotation) {
  int finished = 0;
  doc->finishTextEditing = [&] { ++finished; };
  Mark m = makeMark(MarkTool::rectangle);
  doc->commit({m});
  doc->setSelection(m.id);
  for (int i = 0; i < 4; ++i)
    doc->rotateSelection(std::numbers::pi / 2);
  EXPECT_FALSE(doc->marks()[0].rotation.has_value());
  EXPECT_EQ(finished, 4);
  const qsizetype steps = doc->history().size();
  doc->rotateSelection(std::nullopt); // reset of an unrotated mark: no step, still selected
  EXPECT_EQ(doc->history().size(), steps);
  EXPECT_EQ(doc->tool(), MarkTool::select);
  doc->rotateSelection(std::numbers::pi / 2);
  doc->rotateSelection(std::nullopt);
  EXPECT_FALSE(doc->marks()[0].rotation.has_value());
  EXPECT_EQ(doc->history().size(), steps + 2);

  Mark broken = doc->marks()[0];
  broken.rotation = NAN;
  doc->commit({broken});
  doc->rotateSelection(0.5);
  EXPECT_EQ(doc->marks()[0].rotation, 0.5); // a non-finite angle counts as 0
}

TEST_F(DocumentTest, EverySetterAnnouncesItsOwnField) {
  using Signal = void (CrelDocument::*)();
  const auto announces = [&](Signal signal, const std::function<void()> &change) {
    QSignalSpy field(doc.get(), signal);
    QSignalSpy changed(doc.get(), &CrelDocument::changed);
    change();
    return field.count() >= 1 && changed.count() >= 1;
  };
  EXPECT_TRUE(announces(&CrelDocument::zoomChanged, [&] { doc->setZoom(1); })); // equal values too
  EXPECT_TRUE(announces(&CrelDocument::marksChanged, [&] { doc->commit({makeMark(MarkTool::pen)}); }));
  EXPECT_TRUE(announces(&CrelDocument::historyChanged, [&] { doc->commit({}); }));
  EXPECT_TRUE(announces(&CrelDocument::selectionChanged, [&] { doc->setSelection(QUuid::createUuid()); }));
  EXPECT_TRUE(announces(&CrelDocument::toolChanged, [&] { doc->setTool(MarkTool::pen); }));
  EXPECT_TRUE(announces(&CrelDocument::highlightModeChanged, [&] { doc->setHighlightMode(HighlightMode::area); }));
  EXPECT_TRUE(announces(&CrelDocument::redactModeChanged, [&] { doc->setRedactMode(HighlightMode::text); }));
  EXPECT_TRUE(announces(&CrelDocument::blurModeChanged, [&] { doc->setBlurMode(HighlightMode::text); }));
  EXPECT_TRUE(announces(&CrelDocument::panChanged, [&] { doc->setPan({3, 4}); }));
  EXPECT_TRUE(announces(&CrelDocument::statusChanged, [&] { doc->setStatus("x"); }));
  EXPECT_TRUE(announces(&CrelDocument::selectedWordsChanged, [&] { doc->setSelectedWords({}); }));
  EXPECT_TRUE(announces(&CrelDocument::strokeChanged, [&] { doc->setStroke(20); }));
  EXPECT_TRUE(announces(&CrelDocument::inkChanged, [&] { doc->setInk(Ink::palette()[2]); }));
  EXPECT_TRUE(announces(&CrelDocument::blurEffectChanged, [&] { doc->setBlur(BlurEffect::pixelate, std::nullopt); }));
  EXPECT_TRUE(announces(&CrelDocument::blurStrengthChanged, [&] { doc->setBlur(std::nullopt, 32); }));
  EXPECT_TRUE(announces(&CrelDocument::highlightOpacityChanged, [&] { doc->setHighlightOpacity(0.5); }));
  EXPECT_TRUE(announces(&CrelDocument::arrowHeadScaleChanged, [&] { doc->setArrowHeadScale(2); }));
  EXPECT_TRUE(announces(&CrelDocument::fontSizeChanged, [&] { doc->setFontSize(30); }));
  EXPECT_TRUE(announces(&CrelDocument::annotationStyleChanged, [&] { doc->setStyle(AnnotationStyle::doodle); }));
  doc->commit({makeMark(MarkTool::line)});
  EXPECT_TRUE(announces(&CrelDocument::futureChanged, [&] { doc->undo(); }));
}

TEST_F(DocumentTest, OnlyTheOwnerClosesItsBracket) {
  const Mark m = makeMark(MarkTool::text);
  doc->beginEditing(&typing);
  doc->commit({m});
  doc->beginEditing();    // someone else's bracket: already open, nothing
  doc->endEditing(false); // unowned end: not theirs to close
  doc->endEditing(true, &other);
  EXPECT_TRUE(doc->isEditing());
  EXPECT_EQ(doc->editingOwner(), &typing);
  Mark typed = m;
  typed.text = "typed";
  doc->commit({typed});
  EXPECT_TRUE(doc->history().isEmpty()); // still one run
  doc->endEditing(true, &typing);
  EXPECT_FALSE(doc->isEditing());
  EXPECT_TRUE(doc->marks().isEmpty());
  EXPECT_TRUE(doc->history().isEmpty());
}

TEST_F(DocumentTest, UnownedBracketsBehaveAsBefore) {
  const Mark m = makeMark(MarkTool::rectangle);
  doc->beginEditing();
  doc->commit({m});
  doc->endEditing(false, &typing); // an owner cannot close an unowned bracket either
  EXPECT_TRUE(doc->isEditing());
  doc->endEditing(false);
  EXPECT_FALSE(doc->isEditing());
  EXPECT_EQ(doc->history().size(), 1);
}

// A style choice is a new edit: it drops a redo branch that holds marks, not
// only the empty one the built-in style checks reach.
TEST_F(DocumentTest, NewStyleChoiceDropsANonEmptyRedoBranch) {
  doc->commit({makeMark(MarkTool::rectangle)});
  doc->undo();
  ASSERT_EQ(doc->future().size(), 1);

  doc->setStyle(AnnotationStyle::doodle);
  EXPECT_TRUE(doc->future().isEmpty());
  doc->redo();
  EXPECT_TRUE(doc->marks().isEmpty());
  EXPECT_EQ(doc->annotationStyle(), AnnotationStyle::doodle);
}
