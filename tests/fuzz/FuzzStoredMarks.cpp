// Stored marks and undo snapshots: any bytes either decode or raise
// JsonDecodingError, and what decodes writes back to bytes that decode to
// the same value.
#include "FuzzSupport.h"

#include "document/EditState.h"
#include "document/Mark.h"
#include "platform/JsonReader.h"
#include "platform/JsonWriter.h"

using namespace crel;

namespace {
template <class T, class Decode, class Encode> void roundTrip(const QJsonValue &v, Decode decode, Encode encode) {
  T first;
  try {
    first = decode(v);
  } catch (const JsonDecodingError &) {
    return;
  }
  JsonWriter w;
  encode(w, first);
  const QByteArray written = w.take();
  T second;
  try {
    second = decode(json::parse(written));
  } catch (const JsonDecodingError &e) {
    std::fprintf(stderr, "%s\n%s\n", written.constData(), e.what());
    fuzz::fail("a decoded value does not decode after writing");
  }
  JsonWriter again;
  encode(again, second);
  if (again.take() != written)
    fuzz::fail("writing a decoded value is not stable");
}
} // namespace

CREL_FUZZ_ENTRY {
  QJsonValue v;
  try {
    v = json::parse(fuzz::bytes(data, size));
  } catch (const JsonDecodingError &) {
    return 0;
  }
  roundTrip<QList<Mark>>(v, &Mark::decodeList, &Mark::encodeList);
  roundTrip<EditState>(v, &EditState::decode, [](JsonWriter &w, const EditState &s) { s.encode(w); });
  roundTrip<QList<EditState>>(v, &EditState::decodeList, &EditState::encodeList);
  return 0;
}
