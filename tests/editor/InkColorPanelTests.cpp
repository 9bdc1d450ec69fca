#include "EditorFixture.h"

#include "editor/InkColorPanel.h"

#include <QColorDialog>
#include <QTemporaryDir>

using namespace crel;
using test::QuietDocument;
using test::sampleMark;

namespace {

class FakeColorPanel : public ColorPanelBackend {
public:
  void present(const QColor &color) override {
    shown = color;
    ++presented;
  }
  void pick(const QColor &color) { Q_EMIT colorChanged(color); }
  QColor shown;
  int presented = 0;
};

constexpr int settleMs = 60;

class InkColorPanelTest : public ::testing::Test {
protected:
  InkColorPanelTest() {
    auto backend = std::make_unique<FakeColorPanel>();
    fake = backend.get();
    panel = std::make_unique<InkColorPanel>(std::move(backend), settleMs);
  }
  std::unique_ptr<QuietDocument> makeDocument() {
    auto d = std::make_unique<QuietDocument>(test::screenshotImage({300, 200}), preferences);
    d->setTool(MarkTool::rectangle);
    return d;
  }
  // A selected rectangle in the document's first palette ink.
  Mark addSelected(CrelDocument &d) {
    const Mark m = sampleMark(MarkTool::rectangle, {20, 20}, {120, 80});
    d.commit(d.marks() + QList<Mark>{m});
    d.selectMark(m, false);
    return m;
  }
  static void waitForSettle(InkColorPanel &panel, const CrelDocument &d) {
    ASSERT_TRUE(QTest::qWaitFor([&] { return !panel.isSettling(d); }, 5000));
    ASSERT_FALSE(d.isEditing());
  }
  static QColor shade(int i) { return QColor::fromRgbF(0.1f * float(i), 0.2f, 0.9f - 0.05f * float(i)); }

  test::TemporarySettings settings;
  AnnotationPreferences preferences{settings.store()};
  FakeColorPanel *fake = nullptr;
  std::unique_ptr<InkColorPanel> panel;
};

} // namespace

TEST_F(InkColorPanelTest, AQuickRunOfChangesIsOneUndoStep) {
  const auto doc = makeDocument();
  const Mark original = addSelected(*doc);
  const qsizetype before = doc->history().size();
  panel->open(*doc);
  EXPECT_EQ(fake->shown, doc->ink().color());
  EXPECT_EQ(doc->history().size(), before); // opening records nothing
  EXPECT_FALSE(doc->isEditing());
  for (int i = 0; i < 10; ++i)
    fake->pick(shade(i));
  EXPECT_EQ(doc->marks().first().ink, Ink::custom(shade(9)));
  EXPECT_EQ(doc->ink(), Ink::custom(shade(9)));
  waitForSettle(*panel, *doc);
  EXPECT_EQ(doc->history().size(), before + 1);
  doc->undo();
  EXPECT_EQ(doc->marks().first().ink, original.ink);
}

TEST_F(InkColorPanelTest, WithoutASelectionNoStepIsMade) {
  const auto doc = makeDocument();
  panel->open(*doc);
  fake->pick(Qt::magenta);
  waitForSettle(*panel, *doc);
  EXPECT_TRUE(doc->history().isEmpty());
}

// Releasing commits at once; afterwards the panel reaches no document.
// Releasing another document leaves the attached one alone.
TEST_F(InkColorPanelTest, ReleaseCommitsOnlyItsOwnDocument) {
  const auto doc = makeDocument(), other = makeDocument();
  addSelected(*doc);
  panel->open(*doc);
  fake->pick(Qt::green);
  panel->release(*other);
  EXPECT_TRUE(doc->isEditing());
  EXPECT_EQ(panel->document(), doc.get());
  const qsizetype before = doc->history().size();
  panel->release(*doc);
  EXPECT_FALSE(doc->isEditing());
  EXPECT_FALSE(panel->isSettling(*doc));
  EXPECT_EQ(doc->history().size(), before + 1);
  EXPECT_EQ(panel->document(), nullptr);
  fake->pick(Qt::red);
  EXPECT_EQ(doc->marks().first().ink, Ink::custom(Qt::green));
}

// Switching to another document within the settle window commits the first
// document's colour then, and each document keeps its own steps.
TEST_F(InkColorPanelTest, SwitchingDocumentsCommitsTheFirst) {
  const auto first = makeDocument(), second = makeDocument();
  addSelected(*first);
  addSelected(*second);
  const qsizetype firstBefore = first->history().size(), secondBefore = second->history().size();
  panel->open(*first);
  fake->pick(Qt::green);
  panel->open(*second);
  EXPECT_FALSE(first->isEditing());
  EXPECT_EQ(first->history().size(), firstBefore + 1);
  fake->pick(Qt::blue);
  EXPECT_EQ(first->marks().first().ink, Ink::custom(Qt::green));
  // Released while the second still settles: the first has nothing pending.
  panel->release(*first);
  EXPECT_TRUE(second->isEditing());
  waitForSettle(*panel, *second);
  EXPECT_EQ(second->history().size(), secondBefore + 1);
  EXPECT_FALSE(first->isEditing());
}

// Any other edit inside the settle window is its own step: the colour is
// committed before it, and undo takes back only the later edit.
TEST_F(InkColorPanelTest, OtherEditsInTheWindowAreTheirOwnSteps) {
  struct Case {
    const char *name;
    std::function<void(CrelDocument &)> edit;
  };
  const Case cases[] = {
      {"drawing",
       [](CrelDocument &d) {
         d.commit(d.marks() + QList<Mark>{sampleMark(MarkTool::line, {1, 1}, {9, 9})});
       }},
      {"restyle", [](CrelDocument &d) { d.setStroke(24); }},
      {"rotation", [](CrelDocument &d) { d.rotateSelection(0.5); }},
  };
  for (const Case &c : cases) {
    const auto doc = makeDocument();
    const Mark original = addSelected(*doc);
    const qsizetype before = doc->history().size();
    panel->open(*doc);
    fake->pick(Qt::green);
    c.edit(*doc);
    EXPECT_FALSE(doc->isEditing()) << c.name;
    EXPECT_EQ(doc->history().size(), before + 2) << c.name;
    doc->undo();
    EXPECT_EQ(doc->marks().first().ink, Ink::custom(Qt::green)) << c.name;
    doc->undo();
    EXPECT_EQ(doc->marks(), QList<Mark>{original}) << c.name;
    waitForSettle(*panel, *doc); // the late settle finds nothing to close
    EXPECT_EQ(doc->marks(), QList<Mark>{original}) << c.name;
    panel->release(*doc);
  }
}

TEST_F(InkColorPanelTest, UndoInsideTheWindowUndoesTheColour) {
  const auto doc = makeDocument();
  const Mark original = addSelected(*doc);
  panel->open(*doc);
  fake->pick(Qt::green);
  doc->undo();
  ASSERT_EQ(doc->marks(), QList<Mark>{original});
  EXPECT_FALSE(doc->isEditing());
  doc->selectMark(original, false); // undo deselects
  fake->pick(Qt::blue);             // a new run after the undo
  waitForSettle(*panel, *doc);
  doc->undo();
  ASSERT_EQ(doc->marks(), QList<Mark>{original});
  doc->redo();
  ASSERT_EQ(doc->marks().size(), 1);
  EXPECT_EQ(doc->marks().first().ink, Ink::custom(Qt::blue));
}

TEST_F(InkColorPanelTest, DestroyedDocumentIsIgnored) {
  auto doc = makeDocument();
  panel->open(*doc);
  fake->pick(Qt::green);
  doc.reset();
  fake->pick(Qt::blue);
  EXPECT_EQ(panel->document(), nullptr);
  const auto next = makeDocument();
  panel->open(*next);
  fake->pick(Qt::red);
  waitForSettle(*panel, *next);
  EXPECT_EQ(next->ink(), Ink::custom(Qt::red));
}

// The dialog reports programmatic colours too; presenting must not.
TEST(ColorDialogBackend, PresentingDoesNotReportTheColour) {
  ColorDialogBackend backend;
  QList<QColor> reported;
  QObject::connect(&backend, &ColorPanelBackend::colorChanged, [&](const QColor &c) { reported << c; });
  backend.present(Qt::yellow);
  ASSERT_NE(backend.dialog(), nullptr);
  EXPECT_TRUE(reported.isEmpty());
  EXPECT_EQ(backend.dialog()->currentColor(), QColor(Qt::yellow));
  EXPECT_FALSE(backend.dialog()->testOption(QColorDialog::ShowAlphaChannel));
  backend.dialog()->setCurrentColor(Qt::cyan); // as the user's picks arrive
  EXPECT_EQ(reported, QList<QColor>{QColor(Qt::cyan)});
}

class InkColorPanelEditorTest : public test::EditorFixture {};

// Closing an editor window commits its pending colour and detaches the panel.
TEST_F(InkColorPanelEditorTest, ClosingTheWindowReleasesItsDocument) {
  const auto editor = makeEditor();
  present(*editor);
  CrelDocument &doc = editor->document();
  const Mark m = sampleMark(MarkTool::rectangle, {20, 20}, {120, 80});
  doc.commit({m});
  doc.selectMark(m, false);
  InkColorPanel &panel = InkColorPanel::shared();
  panel.open(doc);
  auto *backend = dynamic_cast<ColorDialogBackend *>(&panel.backend());
  ASSERT_NE(backend, nullptr);
  backend->dialog()->setCurrentColor(Qt::green);
  EXPECT_TRUE(doc.isEditing());
  QTemporaryDir folder;
  doc.save(folder.filePath("saved.png")); // nothing to discard: the window closes without asking
  ASSERT_TRUE(editor->window()->close());
  EXPECT_FALSE(doc.isEditing());
  EXPECT_EQ(panel.document(), nullptr);
  EXPECT_EQ(doc.marks().first().ink, Ink::custom(Qt::green));
  backend->dialog()->close();
}
