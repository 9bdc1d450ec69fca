#include "UpdateSnapshot.h"

#include "platform/files/JsonReader.h"

#include <QFileInfo>

namespace crel {

bool operator==(const UpdateSnapshot &a, const UpdateSnapshot &b) {
  return a.originalPNG == b.originalPNG && sameMarks(a.marks, b.marks) && a.history == b.history &&
         a.future == b.future && a.savedURL == b.savedURL && a.tool == b.tool && a.ink == b.ink &&
         a.stroke == b.stroke && a.fontSize == b.fontSize && a.arrowHeadScale == b.arrowHeadScale &&
         a.selection == b.selection && a.annotationStyle == b.annotationStyle && a.toolWidths == b.toolWidths &&
         a.toolInks == b.toolInks && a.highlightMode == b.highlightMode && a.redactMode == b.redactMode &&
         a.highlightOpacity == b.highlightOpacity && a.blurMode == b.blurMode && a.blurEffect == b.blurEffect &&
         a.blurStrength == b.blurStrength;
}

namespace {
template <class E> void writeOptionalRaw(JsonWriter &w, const char *key, const std::optional<E> &v) {
  if (v) {
    w.key(key);
    writeRawValue(w, *v);
  }
}
void writeOptionalDouble(JsonWriter &w, const char *key, const std::optional<double> &v) {
  if (v)
    w.field(key, *v);
}
// Saving goes to a local path: anything else would make every later save fail.
QUrl toLocalFileUrl(const QJsonValue &v) {
  const QUrl url(json::toString(v), QUrl::StrictMode);
  if (!url.isValid() || url.isRelative())
    throw JsonDecodingError("expected an absolute URL");
  if (!url.isLocalFile() || !url.host().isEmpty() || QFileInfo(url.toLocalFile()).fileName().isEmpty())
    throw JsonDecodingError("expected the URL of a local file");
  return url;
}
} // namespace

void UpdateSnapshot::encode(JsonWriter &w) const {
  w.beginObject();
  w.key("originalPNG");
  w.valueBase64(originalPNG);
  w.key("marks");
  Mark::encodeList(w, marks);
  w.key("history");
  EditState::encodeList(w, history);
  w.key("future");
  EditState::encodeList(w, future);
  w.key("savedURL");
  w.valueUrl(savedURL);
  w.key("tool");
  writeRawValue(w, tool);
  w.key("ink");
  ink.encode(w);
  w.field("stroke", stroke);
  w.field("fontSize", fontSize);
  w.field("arrowHeadScale", arrowHeadScale);
  if (selection)
    w.field("selection", *selection);
  writeOptionalRaw(w, "annotationStyle", annotationStyle);
  if (toolWidths) {
    w.key("toolWidths");
    w.beginObject();
    for (auto it = toolWidths->cbegin(); it != toolWidths->cend(); ++it)
      w.field(it.key().toStdString(), it.value());
    w.endObject();
  }
  if (toolInks) {
    w.key("toolInks");
    w.beginObject();
    for (auto it = toolInks->cbegin(); it != toolInks->cend(); ++it) {
      w.key(it.key().toStdString());
      it.value().encode(w);
    }
    w.endObject();
  }
  writeOptionalRaw(w, "highlightMode", highlightMode);
  writeOptionalRaw(w, "redactMode", redactMode);
  writeOptionalDouble(w, "highlightOpacity", highlightOpacity);
  writeOptionalRaw(w, "blurMode", blurMode);
  writeOptionalRaw(w, "blurEffect", blurEffect);
  writeOptionalDouble(w, "blurStrength", blurStrength);
  w.endObject();
}

UpdateSnapshot UpdateSnapshot::decode(const QJsonValue &v) {
  const JsonObjectReader r(v, "UpdateSnapshot");
  UpdateSnapshot s;
  s.originalPNG = r.required("originalPNG", json::toBase64Data);
  s.marks = r.required("marks", Mark::decodeList);
  s.history = r.required("history", EditState::decodeList);
  s.future = r.required("future", EditState::decodeList);
  s.savedURL = r.required("savedURL", toLocalFileUrl);
  s.tool = r.required("tool", decodeRawValue<MarkTool>);
  s.ink = r.required("ink", Ink::decode);
  s.stroke = r.required("stroke", json::toDouble);
  s.fontSize = r.required("fontSize", json::toDouble);
  s.arrowHeadScale = r.required("arrowHeadScale", json::toDouble);
  s.selection = r.optional("selection", json::toUuid);
  s.annotationStyle = r.optional("annotationStyle", decodeRawValue<AnnotationStyle>);
  s.toolWidths = r.optional("toolWidths", [](const QJsonValue &m) {
    QMap<QString, double> widths;
    const QJsonObject object = json::toObject(m);
    for (auto it = object.begin(); it != object.end(); ++it)
      widths.insert(it.key(), json::toDouble(it.value()));
    return widths;
  });
  s.toolInks = r.optional("toolInks", [](const QJsonValue &m) {
    QMap<QString, Ink> inks;
    const QJsonObject object = json::toObject(m);
    for (auto it = object.begin(); it != object.end(); ++it)
      inks.insert(it.key(), Ink::decode(it.value()));
    return inks;
  });
  s.highlightMode = r.optional("highlightMode", decodeRawValue<HighlightMode>);
  s.redactMode = r.optional("redactMode", decodeRawValue<HighlightMode>);
  s.highlightOpacity = r.optional("highlightOpacity", json::toDouble);
  s.blurMode = r.optional("blurMode", decodeRawValue<HighlightMode>);
  s.blurEffect = r.optional("blurEffect", decodeRawValue<BlurEffect>);
  s.blurStrength = r.optional("blurStrength", json::toDouble);
  return s;
}

} // namespace crel
