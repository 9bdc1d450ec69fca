// Stored marks and undo snapshots: any bytes either decode or raise
// JsonDecodingError, and what decodes writes back to bytes that decode to
// the same value.
#include "FuzzSupport.h"

#include "document/EditState.h"
#include "document/Mark.h"
#include "platform/files/JsonReader.h"
#include "platform/files/JsonWriter.h"

using namespace crel;

namespace {
template <class T> void roundTrip(const QByteArray &input, T (*decode)(const QJsonValue &), auto encode) {
  fuzz::expectStableRoundTrip<JsonDecodingError>(
      input, [decode](const QByteArray &bytes) { return decode(json::parse(bytes)); },
      [encode](const T &value) {
        JsonWriter w;
        encode(w, value);
        return w.take();
      });
}
} // namespace

CREL_FUZZ_ENTRY {
  const QByteArray input = fuzz::bytes(data, size);
  roundTrip(input, &Mark::decodeList, &Mark::encodeList);
  roundTrip(input, &EditState::decode, [](JsonWriter &w, const EditState &s) { s.encode(w); });
  roundTrip(input, &EditState::decodeList, &EditState::encodeList);
  return 0;
}
