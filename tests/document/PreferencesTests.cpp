#include "support/TestSupport.h"

#include "document/AnnotationPreferences.h"
#include "document/EditorSizePreferences.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace crel;

TEST(Preferences, AnEmptyStoreReadsTheDefaultsAndWritesNothing) {
  test::TemporarySettings settings;
  AnnotationPreferences style(settings.store());
  EditorSizePreferences size(settings.store());
  EXPECT_EQ(style.style(), AnnotationStyle::formal);
  EXPECT_EQ(size.size(), EditorSize::large);
  EXPECT_TRUE(settings.store().keys().isEmpty());
}

TEST(Preferences, UnknownStoredValuesFallBack) {
  test::TemporarySettings settings;
  settings.store().setString("annotationStyle", "Doodle");
  settings.store().setString("editorWindowSize", "huge");
  EXPECT_EQ(AnnotationPreferences(settings.store()).style(), AnnotationStyle::formal);
  EXPECT_EQ(EditorSizePreferences(settings.store()).size(), EditorSize::large);
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
