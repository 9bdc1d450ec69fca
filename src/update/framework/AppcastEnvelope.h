#pragma once

#include <QByteArray>
#include <QByteArrayView>

namespace crel::update {

// The signed form of a feed, one file, so that a feed and its signature can
// never get out of step in a cache or a mirror:
//   {"format": "crel-appcast", "formatVersion": 1,
//    "payload": "<Base64 of the payload's exact bytes>",
//    "signature": "<Base64 Ed25519 signature over those bytes>"}
class AppcastEnvelope {
public:
  // Feeds are small; anything larger is refused unread.
  static constexpr qsizetype maximumSize = qsizetype(1) << 20;

  static QByteArray seal(const QByteArray &payload, QByteArrayView seed);
  // The payload bytes once the envelope is well formed and its signature
  // verifies with `publicKey`. An unsigned envelope is accepted only when
  // `requireSignature` is false; a signature that is present must always
  // verify. Throws UpdateError: appcastParse for a malformed or oversized
  // envelope, feedSignature for a missing or wrong signature.
  static QByteArray open(const QByteArray &envelope, QByteArrayView publicKey, bool requireSignature);
};

} // namespace crel::update
