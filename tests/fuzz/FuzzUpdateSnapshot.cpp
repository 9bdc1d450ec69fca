// The document state carried across an update: any bytes either decode or
// raise JsonDecodingError, and what decodes writes back stably.
#include "FuzzSupport.h"

#include "document/UpdateSnapshot.h"
#include "platform/files/JsonReader.h"
#include "platform/files/JsonWriter.h"

using namespace crel;

CREL_FUZZ_ENTRY {
  fuzz::expectStableRoundTrip<JsonDecodingError>(
      fuzz::bytes(data, size), [](const QByteArray &bytes) { return UpdateSnapshot::decode(json::parse(bytes)); },
      [](const UpdateSnapshot &snapshot) {
        JsonWriter w;
        snapshot.encode(w);
        return w.take();
      });
  return 0;
}
