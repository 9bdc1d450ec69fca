#pragma once

#include "Appcast.h"
#include "AppcastItem.h"
#include "BundleInfo.h"
#include "UpdateError.h"

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <optional>

namespace crel::update {

// Everything a feed is judged against: who we are, which key signs our
// feeds, what runs here, and what the user chose to skip.
struct FeedContext {
  QString identifier;
  QUrl feedUrl; // resolves relative archive addresses
  QByteArray publicEdKey;
  bool requireSignedFeed = true;
  QString currentVersion;        // build number
  QString currentDisplayVersion; // for sentences
  QString displayName;           // for sentences
  QString architecture;          // QSysInfo::currentCpuArchitecture() form
  QString systemVersion;         // the C library's version; empty = unknown
  // Scheduled checks pass the user's skipped version; a user's own check does not.
  std::optional<QString> skippedVersion;

  // Our bundle on the machine we run on.
  static FeedContext forBundle(const BundleInfo &bundle, std::optional<QString> skippedVersion = std::nullopt);
};

// The outcome of a check: an item newer than ours, or the reason there is none.
struct FeedVerdict {
  std::optional<AppcastItem> item;
  std::optional<UpdateError> error;
};

class UpdateFeed {
public:
  // Opens the envelope, verifies it and decodes the payload; a feed for
  // another identifier is refused (feedIdentity). Throws UpdateError.
  static Appcast read(const QByteArray &envelope, const FeedContext &context);
  // The newest item for this architecture and system that is strictly newer
  // than our version and, when a version was skipped, newer than that too.
  static std::optional<AppcastItem> selectItem(const Appcast &appcast, const FeedContext &context);
  // read + selectItem; "nothing newer" is the noUpdate error.
  static FeedVerdict evaluate(const QByteArray &envelope, const FeedContext &context);
};

} // namespace crel::update
