#include "support/TestSupport.h"

#include "platform/Pasteboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include <gtest/gtest.h>

using namespace crel;

TEST(SettingsStore, NonTextValuesReadAsAbsentAndValuesPersist) {
  test::TemporarySettings settings;
  SettingsStore &store = settings.store();
  EXPECT_FALSE(store.stringForKey("k").has_value());
  store.setValue("number", 5);
  EXPECT_FALSE(store.stringForKey("number").has_value());
  store.setString("k", "v");
  store.sync();
  SettingsStore reopened(settings.path());
  EXPECT_EQ(reopened.stringForKey("k"), QString("v"));
}

TEST(Pasteboard, FakeRecordsWritesAndCanRefuse) {
  FakePasteboard board;
  board.clear();
  EXPECT_TRUE(board.writeData("image/png", "png"));
  EXPECT_EQ(board.data.value("image/png"), QByteArray("png"));
  board.failWrites = true;
  EXPECT_FALSE(board.writeText("x"));
  EXPECT_FALSE(board.text.has_value());
  board.clear();
  EXPECT_TRUE(board.data.isEmpty());
  EXPECT_EQ(board.clearCount, 2);
}

TEST(Pasteboard, ClipboardKeepsEveryRepresentationSinceClear) {
  Pasteboard &board = Pasteboard::general();
  board.clear();
  ASSERT_TRUE(board.writeData("image/png", "png-bytes"));
  ASSERT_TRUE(board.writeText("hello"));
  const QMimeData *mime = QGuiApplication::clipboard()->mimeData();
  ASSERT_NE(mime, nullptr);
  EXPECT_EQ(mime->data("image/png"), QByteArray("png-bytes"));
  EXPECT_EQ(mime->text(), "hello");
}
