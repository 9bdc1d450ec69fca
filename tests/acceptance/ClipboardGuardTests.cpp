#include "acceptance/ClipboardGuard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include <gtest/gtest.h>

#include <functional>

namespace crel::acceptance {
namespace {

using Formats = QMap<QString, QByteArray>;

void put(const Formats &formats) {
  QClipboard &clipboard = *QGuiApplication::clipboard();
  clipboard.clear();
  if (formats.isEmpty())
    return;
  auto *mime = new QMimeData;
  for (auto it = formats.cbegin(); it != formats.cend(); ++it)
    mime->setData(it.key(), it.value());
  clipboard.setMimeData(mime);
}

Formats held() {
  Formats formats;
  if (const QMimeData *mime = QGuiApplication::clipboard()->mimeData())
    for (const QString &format : mime->formats())
      formats.insert(format, mime->data(format));
  return formats;
}

const Formats user{{"text/plain", "the user's note"}, {"image/png", QByteArray("\x89PNG user", 9)}};
const Formats ours{{"image/png", QByteArray("\x89PNG ours", 9)}};
const Formats later{{"text/plain", "written by someone else"}};

// The run's copies are noted; a write by anyone else after the last noted
// one keeps its content, everything else gives the user's clipboard back.
TEST(ClipboardGuard, RestoresOnlyWhenNobodyElseWroteAfterTheRunsLastWrite) {
  struct Row {
    const char *name;
    Formats before;
    std::function<void()> during;
    bool restores;
    Formats after;
  };
  const auto ownWrite = [](ClipboardGuard *&guard) {
    return [&guard] {
      put(ours);
      guard->noteOwnWrite();
    };
  };
  ClipboardGuard *guard = nullptr;
  const Row rows[] = {
      {"user content", user, ownWrite(guard), true, user},
      {"empty clipboard", {}, ownWrite(guard), true, {}},
      {"foreign write last", user,
       [&] {
         ownWrite(guard)();
         put(later);
       },
       false, later},
      {"foreign write before the run's last", user,
       [&] {
         ownWrite(guard)();
         put(later);
         ownWrite(guard)();
       },
       true, user},
      {"foreign clear last",
       user,
       [&] {
         ownWrite(guard)();
         QGuiApplication::clipboard()->clear();
       },
       false,
       {}},
  };
  for (const Row &row : rows) {
    put(row.before);
    ClipboardGuard kept(*QGuiApplication::clipboard());
    guard = &kept;
    row.during();
    EXPECT_EQ(kept.restore(), row.restores) << row.name;
    EXPECT_EQ(held(), row.after) << row.name;
  }
}

TEST(ClipboardGuard, ARestoreCountsAsTheRunsOwnWriteAndIsNotRepeatedOverALaterOne) {
  put(user);
  ClipboardGuard kept(*QGuiApplication::clipboard());
  put(ours);
  kept.noteOwnWrite();
  ASSERT_TRUE(kept.restore());
  EXPECT_TRUE(kept.unchangedSinceOwnWrite());
  put(later);
  EXPECT_FALSE(kept.restore());
  EXPECT_EQ(held(), later);
}

} // namespace
} // namespace crel::acceptance
