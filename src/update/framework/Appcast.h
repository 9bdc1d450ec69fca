#pragma once

#include "AppcastItem.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QUrl>

namespace crel::update {

// The contents of a feed: which application it is for and its releases.
// Stored as JSON:
//   {"identifier": "...", "generated": "<ISO date>", "items": [{"version": "101",
//    "displayVersion": "1.1", "architecture": "x86_64", "minimumSystemVersion": "2.36",
//    "published": "<ISO date>", "releaseNotes": "...", "archive": {"url": "...",
//    "length": 123, "sha256": "<hex>", "edSignature": "<Base64>"}}]}
// and carried inside an AppcastEnvelope that signs these exact bytes.
struct Appcast {
  QString identifier;
  QDateTime generated;
  QList<AppcastItem> items;

  bool operator==(const Appcast &) const = default;

  // Ordered, compact JSON; archive addresses are written as given.
  QByteArray encodePayload() const;
  // Strict; relative archive addresses resolve against `feedUrl`, and every
  // archive address must be one UpdateAddress permits. Throws UpdateError
  // (appcastParse) naming what is wrong.
  static Appcast decodePayload(const QByteArray &payload, const QUrl &feedUrl);
};

} // namespace crel::update
