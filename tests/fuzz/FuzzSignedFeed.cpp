// The signed feed: any bytes are either opened and read or refused with an
// UpdateError, and a feed that reads writes back stably.
#include "FuzzSupport.h"

#include "update/framework/Appcast.h"
#include "update/framework/AppcastEnvelope.h"
#include "update/framework/Ed25519.h"
#include "update/framework/UpdateError.h"

#include <QUrl>

using namespace crel::update;

namespace {
// The seed corpus's envelopes are signed with this seed, so signed inputs
// reach the signature check and the payload both.
const QByteArray &publicKey() {
  static const QByteArray key = Ed25519::fromSeed(QByteArray(Ed25519::seedSize, '\x2a')).publicKey;
  return key;
}

// Compared as written: an address may come back with its characters escaped
// differently and still be the same address.
void readPayload(const QByteArray &payload) {
  const QUrl feedUrl(QStringLiteral("https://updates.example.com/crel/feed.json"));
  crel::fuzz::expectStableRoundTrip<UpdateError>(
      payload, [&](const QByteArray &bytes) { return Appcast::decodePayload(bytes, feedUrl); },
      [](const Appcast &appcast) { return appcast.encodePayload(); });
}
} // namespace

CREL_FUZZ_ENTRY {
  const QByteArray input = crel::fuzz::bytes(data, size);
  try {
    readPayload(AppcastEnvelope::open(input, publicKey(), false));
  } catch (const UpdateError &) {
  }
  // The payload parser on its own, which a signature check would shield from most inputs.
  readPayload(input);
  return 0;
}
