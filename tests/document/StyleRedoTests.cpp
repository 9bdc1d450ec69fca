#include "support/TestSupport.h"

#include "document/AnnotationPreferences.h"
#include "document/CrelDocument.h"

#include <gtest/gtest.h>

using namespace crel;

// A style choice is a new edit: it drops a redo branch that holds marks, not
// only the empty one the built-in style checks reach.
TEST(StyleHistory, NewStyleChoiceDropsANonEmptyRedoBranch) {
  test::TemporarySettings settings;
  AnnotationPreferences preferences(settings.store());
  QImage image(40, 30, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::white);
  CrelDocument document(image, preferences);

  Mark mark;
  mark.id = QUuid::createUuid();
  mark.tool = MarkTool::rectangle;
  mark.end = {20, 10};
  mark.width = 12;
  document.commit({mark});
  document.undo();
  ASSERT_EQ(document.future().size(), 1);

  document.setStyle(AnnotationStyle::doodle);
  EXPECT_TRUE(document.future().isEmpty());
  document.redo();
  EXPECT_TRUE(document.marks().isEmpty());
  EXPECT_EQ(document.annotationStyle(), AnnotationStyle::doodle);
}
