#include "support/TestSupport.h"

#include "platform/desktop/Pasteboard.h"

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

TEST(Pasteboard, ClipboardKeepsEveryRepresentationSinceClearOrTextReplacingThem) {
  Pasteboard &board = Pasteboard::general();
  board.clear();
  ASSERT_TRUE(board.writeData("image/png", "png-bytes"));
  ASSERT_TRUE(board.writeText("hello"));
  const QMimeData *mime = QGuiApplication::clipboard()->mimeData();
  ASSERT_NE(mime, nullptr);
  EXPECT_EQ(mime->data("image/png"), QByteArray("png-bytes"));
  EXPECT_EQ(mime->text(), "hello");

  // Replacing with text drops every earlier representation in one step; a
  // later write adds to the text.
  ASSERT_TRUE(board.replaceWithText("#FF0000"));
  ASSERT_TRUE(board.writeData("text/x-note", "n"));
  mime = QGuiApplication::clipboard()->mimeData();
  EXPECT_EQ(mime->text(), "#FF0000");
  EXPECT_FALSE(mime->hasFormat("image/png"));
  EXPECT_EQ(mime->data("text/x-note"), "n");
}

TEST(Pasteboard, ReadsWrittenBytesVerbatimAndConvertsImagesOnDemand) {
  const QImage image = test::filledImage({3, 2}, qRgba(10, 20, 30, 255), QImage::Format_ARGB32);
  const QByteArray png = test::encodedImage(image, "PNG");
  ASSERT_FALSE(png.isEmpty());

  FakePasteboard board;
  EXPECT_TRUE(board.read("image/png").isEmpty());
  EXPECT_TRUE(board.readImage().isNull());
  board.writeData("image/png", png);
  board.writeData("text/x-note", "n");
  EXPECT_EQ(board.read("image/png"), png);
  EXPECT_EQ(board.read("text/x-note"), QByteArray("n"));
  EXPECT_TRUE(board.read("application/x-unknown").isEmpty());
  EXPECT_TRUE(board.read("image/tiff").isEmpty());

  // Bytes that only claim to be an image give no image.
  FakePasteboard broken;
  broken.writeData("image/png", "not a png");
  EXPECT_TRUE(broken.readImage().isNull());
}
