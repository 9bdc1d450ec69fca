// The document state carried across an update: any bytes either decode or
// raise JsonDecodingError, and what decodes writes back stably.
#include "FuzzSupport.h"

#include "document/UpdateSnapshot.h"
#include "platform/JsonReader.h"
#include "platform/JsonWriter.h"

using namespace crel;

namespace {
QByteArray written(const UpdateSnapshot &s) {
  JsonWriter w;
  s.encode(w);
  return w.take();
}
} // namespace

CREL_FUZZ_ENTRY {
  UpdateSnapshot first;
  try {
    first = UpdateSnapshot::decode(json::parse(fuzz::bytes(data, size)));
  } catch (const JsonDecodingError &) {
    return 0;
  }
  const QByteArray bytes = written(first);
  UpdateSnapshot second;
  try {
    second = UpdateSnapshot::decode(json::parse(bytes));
  } catch (const JsonDecodingError &e) {
    std::fprintf(stderr, "%s\n", e.what());
    fuzz::fail("a decoded snapshot does not decode after writing");
  }
  if (written(second) != bytes)
    fuzz::fail("writing a decoded snapshot is not stable");
  return 0;
}
