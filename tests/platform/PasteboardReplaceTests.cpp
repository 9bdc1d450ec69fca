#include "platform/Pasteboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include <gtest/gtest.h>

using namespace crel;

TEST(PasteboardReplace, TextReplacesEveryEarlierRepresentationInOneStep) {
  Pasteboard &board = Pasteboard::general();
  board.clear();
  ASSERT_TRUE(board.writeData("image/png", "png-bytes"));
  ASSERT_TRUE(board.replaceWithText("#FF0000"));
  const QMimeData *mime = QGuiApplication::clipboard()->mimeData();
  ASSERT_NE(mime, nullptr);
  EXPECT_EQ(mime->text(), "#FF0000");
  EXPECT_FALSE(mime->hasFormat("image/png"));
  // A later write adds to the text, as after any other write.
  ASSERT_TRUE(board.writeData("text/x-note", "n"));
  EXPECT_EQ(QGuiApplication::clipboard()->mimeData()->text(), "#FF0000");
}

TEST(PasteboardReplace, ARefusedReplaceKeepsWhatWasThere) {
  FakePasteboard board;
  board.writeData("image/png", "png-bytes");
  board.text = "old";
  board.failWrites = true;
  EXPECT_FALSE(board.replaceWithText("new"));
  EXPECT_EQ(board.text, "old");
  EXPECT_EQ(board.read("image/png"), QByteArray("png-bytes"));
  board.failWrites = false;
  EXPECT_TRUE(board.replaceWithText("new"));
  EXPECT_EQ(board.text, "new");
  EXPECT_TRUE(board.data.isEmpty());
}
