#include "EditState.h"

#include "platform/files/JsonCoding.h"
#include "platform/files/JsonReader.h"

namespace crel {

bool sameMarks(const QList<Mark> &a, const QList<Mark> &b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end());
}

bool operator==(const EditState &a, const EditState &b) { return sameMarks(a.marks, b.marks) && a.style == b.style; }

void EditState::encode(JsonWriter &w) const {
  w.beginObject();
  w.key("marks");
  Mark::encodeList(w, marks);
  if (style) {
    w.key("style");
    writeRawValue(w, *style);
  }
  w.endObject();
}

EditState EditState::decode(const QJsonValue &v) {
  if (v.isArray()) {
    EditState state;
    state.marks = Mark::decodeList(v);
    if (!state.marks.isEmpty())
      state.style = state.marks.first().style.value_or(AnnotationStyle::formal);
    return state;
  }
  const JsonObjectReader r(v, "EditState");
  return {r.required("marks", Mark::decodeList), r.optional("style", decodeRawValue<AnnotationStyle>)};
}

void EditState::encodeList(JsonWriter &w, const QList<EditState> &states) {
  json::writeList(w, states, [](JsonWriter &jw, const EditState &s) { s.encode(jw); });
}

QList<EditState> EditState::decodeList(const QJsonValue &v) { return json::toList(v, EditState::decode); }

} // namespace crel
