#include "support/TestSupport.h"

#include "document/AnnotationPreferences.h"
#include "document/EditorSizePreferences.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace crel;

// Defaults and unknown sizes are self-checks.
TEST(Preferences, ReadingWritesNothingAndValuesMustBeExactText) {
  test::TemporarySettings settings;
  EXPECT_EQ(AnnotationPreferences(settings.store()).style(), AnnotationStyle::formal);
  EXPECT_EQ(EditorSizePreferences(settings.store()).size(), EditorSize::large);
  EXPECT_TRUE(settings.store().keys().isEmpty());
  settings.store().setString("annotationStyle", "Doodle");
  EXPECT_EQ(AnnotationPreferences(settings.store()).style(), AnnotationStyle::formal);
  settings.store().setString("annotationStyle", "doodle");
  settings.store().setString("editorWindowSize", "compact");
  EXPECT_EQ(AnnotationPreferences(settings.store()).style(), AnnotationStyle::doodle);
  EXPECT_EQ(EditorSizePreferences(settings.store()).size(), EditorSize::compact);
  settings.store().setValue("editorWindowSize", 3); // not text
  EXPECT_EQ(EditorSizePreferences(settings.store()).size(), EditorSize::large);
}

TEST(Preferences, EveryAssignmentWritesAndNotifiesEvenWhenEqual) {
  test::TemporarySettings settings;
  AnnotationPreferences prefs(settings.store());
  QSignalSpy spy(&prefs, &AnnotationPreferences::changed);
  prefs.setStyle(AnnotationStyle::formal);
  EXPECT_EQ(settings.store().stringForKey("annotationStyle"), QString("formal"));
  EXPECT_EQ(spy.count(), 1);

  EditorSizePreferences sizes(settings.store());
  sizes.setSize(EditorSize::large);
  EXPECT_EQ(settings.store().stringForKey("editorWindowSize"), QString("large"));
}
