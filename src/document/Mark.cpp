#include "Mark.h"

#include "MarkValidation.h"

#include "platform/files/JsonCoding.h"
#include "platform/files/JsonReader.h"

namespace crel {

namespace {

bool samePoints(const QList<QPointF> &a, const QList<QPointF> &b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](QPointF p, QPointF q) { return geom::exactlyEqual(p, q); });
}

template <class T> bool sameOptional(const std::optional<T> &a, const std::optional<T> &b) {
  return a.has_value() == b.has_value() && (!a || *a == *b);
}

} // namespace

bool operator==(const Mark &a, const Mark &b) {
  return a.id == b.id && a.tool == b.tool && geom::exactlyEqual(a.start, b.start) && geom::exactlyEqual(a.end, b.end) &&
         samePoints(a.points, b.points) && a.ink == b.ink && a.width == b.width && a.text == b.text &&
         a.arrowHeadScale == b.arrowHeadScale && a.fontSize == b.fontSize && a.textBoxWidth == b.textBoxWidth &&
         sameOptional(a.style, b.style) && sameOptional(a.highlightMode, b.highlightMode) &&
         sameOptional(a.regions, b.regions) && sameOptional(a.opacity, b.opacity) && sameOptional(a.number, b.number) &&
         sameOptional(a.constrained, b.constrained) && sameOptional(a.highlightDarkRegions, b.highlightDarkRegions) &&
         sameOptional(a.blurEffect, b.blurEffect) && sameOptional(a.blurStrength, b.blurStrength) &&
         sameOptional(a.rotation, b.rotation);
}

void Mark::encode(JsonWriter &w) const {
  w.beginObject();
  w.field("id", id);
  w.key("tool");
  writeRawValue(w, tool);
  w.key("start");
  json::writePoint(w, start);
  w.key("end");
  json::writePoint(w, end);
  w.key("points");
  json::writeList(w, points, json::writePoint);
  w.key("ink");
  ink.encode(w);
  w.field("width", width);
  w.field("text", text);
  w.field("arrowHeadScale", arrowHeadScale);
  w.field("fontSize", fontSize);
  w.field("textBoxWidth", textBoxWidth);
  if (style) {
    w.key("style");
    writeRawValue(w, *style);
  }
  if (highlightMode) {
    w.key("highlightMode");
    writeRawValue(w, *highlightMode);
  }
  if (regions) {
    w.key("regions");
    json::writeList(w, *regions, json::writeRect);
  }
  if (opacity)
    w.field("opacity", *opacity);
  if (number)
    w.field("number", *number);
  if (constrained)
    w.field("constrained", *constrained);
  if (highlightDarkRegions) {
    w.key("highlightDarkRegions");
    json::writeList(w, *highlightDarkRegions, [](JsonWriter &jw, bool flag) { jw.value(flag); });
  }
  if (blurEffect) {
    w.key("blurEffect");
    writeRawValue(w, *blurEffect);
  }
  if (blurStrength)
    w.field("blurStrength", *blurStrength);
  if (rotation)
    w.field("rotation", *rotation);
  w.endObject();
}

Mark Mark::decode(const QJsonValue &v) {
  const JsonObjectReader r(v, "Mark");
  Mark m;
  m.id = r.required("id", json::toUuid);
  m.tool = r.required("tool", decodeRawValue<MarkTool>);
  m.start = r.required("start", json::toPoint);
  m.end = r.required("end", json::toPoint);
  m.points = r.required("points", [](const QJsonValue &p) { return json::toList(p, json::toPoint); });
  m.ink = r.required("ink", Ink::decode);
  m.width = r.required("width", json::toDouble);
  m.text = r.required("text", json::toString);
  m.arrowHeadScale = r.required("arrowHeadScale", json::toDouble);
  m.fontSize = r.required("fontSize", json::toDouble);
  m.textBoxWidth = r.required("textBoxWidth", json::toDouble);
  m.style = r.optional("style", decodeRawValue<AnnotationStyle>);
  m.highlightMode = r.optional("highlightMode", decodeRawValue<HighlightMode>);
  m.regions = r.optional("regions", [](const QJsonValue &p) { return json::toList(p, json::toRect); });
  m.opacity = r.optional("opacity", json::toDouble);
  m.number = r.optional("number", json::toInteger);
  m.constrained = r.optional("constrained", json::toBool);
  m.highlightDarkRegions =
      r.optional("highlightDarkRegions", [](const QJsonValue &p) { return json::toList(p, json::toBool); });
  m.blurEffect = r.optional("blurEffect", decodeRawValue<BlurEffect>);
  m.blurStrength = r.optional("blurStrength", json::toDouble);
  m.rotation = r.optional("rotation", json::toDouble);
  MarkValidation::check(m);
  return m;
}

void Mark::encodeList(JsonWriter &w, const QList<Mark> &marks) {
  json::writeList(w, marks, [](JsonWriter &jw, const Mark &m) { m.encode(jw); });
}

QList<Mark> Mark::decodeList(const QJsonValue &v) { return json::toList(v, Mark::decode); }

} // namespace crel
