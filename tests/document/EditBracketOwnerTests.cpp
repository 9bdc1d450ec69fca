#include "MarkSamples.h"

#include "support/TestSupport.h"

#include "document/AnnotationPreferences.h"
#include "document/CrelDocument.h"

#include <gtest/gtest.h>

using namespace crel;
using test::makeMark;

namespace {

class EditBracketOwnerTest : public ::testing::Test {
protected:
  EditBracketOwnerTest() {
    QImage image(200, 100, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    doc = std::make_unique<CrelDocument>(image, preferences);
  }

  test::TemporarySettings settings;
  AnnotationPreferences preferences{settings.store()};
  std::unique_ptr<CrelDocument> doc;
  const int typing = 0, other = 0; // addresses serve as owners
};

} // namespace

TEST_F(EditBracketOwnerTest, OnlyTheOwnerClosesItsBracket) {
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

TEST_F(EditBracketOwnerTest, UnownedBracketsBehaveAsBefore) {
  const Mark m = makeMark(MarkTool::rectangle);
  doc->beginEditing();
  doc->commit({m});
  doc->endEditing(false, &typing); // an owner cannot close an unowned bracket either
  EXPECT_TRUE(doc->isEditing());
  doc->endEditing(false);
  EXPECT_FALSE(doc->isEditing());
  EXPECT_EQ(doc->history().size(), 1);
}

TEST_F(EditBracketOwnerTest, UndoClosesAnOwnedBracketFirst) {
  const Mark m = makeMark(MarkTool::rectangle);
  doc->commit({m});
  doc->beginEditing(&typing);
  doc->commit({});
  doc->undo(); // the bracket's change becomes a step, then that step is undone
  EXPECT_FALSE(doc->isEditing());
  EXPECT_EQ(doc->marks(), QList<Mark>{m});
  doc->endEditing(true, &typing); // late: nothing left to close
  EXPECT_EQ(doc->marks(), QList<Mark>{m});
}
