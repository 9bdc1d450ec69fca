#include "document/EditState.h"
#include "document/Mark.h"

#include "platform/files/JsonReader.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace crel;

namespace {
Mark arrow() {
  Mark m;
  m.id = QUuid("{0F8FAD5B-D9CB-469F-A165-70867728950E}");
  m.tool = MarkTool::arrow;
  m.start = {10, 20.5};
  m.end = {-3, 40};
  m.ink = {"Coral", 0.92, 0.25, 0.23};
  m.width = 32;
  m.fontSize = 28;
  m.textBoxWidth = 320;
  return m;
}

QByteArray encoded(const Mark &m) {
  JsonWriter w;
  m.encode(w);
  return w.take();
}

Mark decoded(const QByteArray &bytes) { return Mark::decode(json::parse(bytes)); }
} // namespace

TEST(MarkCoding, FreshArrowWritesExactlyItsRequiredKeysInOrder) {
  EXPECT_EQ(encoded(arrow()),
            R"({"id":"0F8FAD5B-D9CB-469F-A165-70867728950E","tool":"arrow","start":[10,20.5],"end":[-3,40],)"
            R"("points":[],"ink":{"name":"Coral","red":0.92,"green":0.25,"blue":0.23},"width":32,"text":"",)"
            R"("arrowHeadScale":1,"fontSize":28,"textBoxWidth":320})");
}

TEST(MarkCoding, EveryFieldRoundTrips) {
  Mark m = arrow();
  m.tool = MarkTool::highlight;
  m.points = {{1, 2}, {3.25, -4}};
  m.text = "two\nlines";
  m.style = AnnotationStyle::doodle;
  m.highlightMode = HighlightMode::text;
  m.regions = QList<geom::Rect>{{1, 2, 3, 4}, {0.5, 0, 10, 2}};
  m.opacity = 0.35;
  m.number = 7;
  m.constrained = true;
  m.highlightDarkRegions = QList<bool>{true};
  m.blurEffect = BlurEffect::pixelate;
  m.blurStrength = 16;
  m.rotation = -0.1 - 0.2;
  const QByteArray bytes = encoded(m);
  EXPECT_TRUE(bytes.endsWith(R"("blurEffect":"pixelate","blurStrength":16,"rotation":-0.30000000000000004})"));
  EXPECT_EQ(decoded(bytes), m);
  EXPECT_EQ(encoded(decoded(bytes)), bytes); // byte-stable: also the blur cache key
}

TEST(MarkCoding, OptionalFieldsMayBeAbsentOrNullButNotMistyped) {
  QByteArray base = encoded(arrow());
  base.chop(1);
  EXPECT_FALSE(decoded(base + "}").rotation.has_value());
  EXPECT_FALSE(decoded(base + R"(,"rotation":null})").rotation.has_value());
  EXPECT_EQ(decoded(base + R"(,"rotation":0})").rotation, 0.0); // stored as is, not normalised
  EXPECT_EQ(decoded(base + R"(,"width2":"ignored"})"), arrow());
  EXPECT_THROW(decoded(base + R"(,"rotation":"0"})"), JsonDecodingError);
  EXPECT_THROW(decoded(base + R"(,"number":1.5})"), JsonDecodingError);
  EXPECT_THROW(decoded(base + R"(,"style":"Formal"})"), JsonDecodingError);

  const QByteArray withoutBoxWidth = QByteArray(encoded(arrow())).replace(R"(,"textBoxWidth":320)", "");
  EXPECT_THROW(decoded(withoutBoxWidth), JsonDecodingError);
  const QByteArray lowerId = QByteArray(encoded(arrow())).replace("0F8FAD5B-D9CB", "0f8fad5b-d9cb");
  EXPECT_EQ(decoded(lowerId).id, arrow().id);
}

TEST(MarkCoding, NonFiniteNumbersFailToEncode) {
  Mark m = arrow();
  m.width = std::nan("");
  EXPECT_THROW(encoded(m), JsonEncodingError);
  m = arrow();
  m.points = {{0, INFINITY}};
  EXPECT_THROW(encoded(m), JsonEncodingError);
  m = arrow();
  m.rotation = NAN;
  EXPECT_THROW(encoded(m), JsonEncodingError);
}

TEST(MarkEquality, IsExactFieldByField) {
  Mark a = arrow();
  Mark b = a;
  EXPECT_EQ(a, b);
  b.start.setX(std::nextafter(a.start.x(), 100.0));
  EXPECT_NE(a, b);
  b = a;
  b.highlightDarkRegions = QList<bool>{};
  EXPECT_NE(a, b); // absent differs from empty
  b = a;
  b.regions = QList<geom::Rect>{};
  EXPECT_NE(a, b);
  a.width = std::nan("");
  EXPECT_NE(a, a); // NaN never compares equal, so edit lists holding it never match
  b = arrow();
  b.ink.name = "Custom";
  EXPECT_NE(arrow(), b);
}

TEST(MarkCoding, ListsDecodeAllOrNothing) {
  JsonWriter w;
  Mark::encodeList(w, {arrow(), arrow()});
  const QByteArray list = w.take();
  EXPECT_EQ(Mark::decodeList(json::parse(list)).size(), 2);
  QByteArray broken = list;
  broken.replace(broken.lastIndexOf("\"tool\":\"arrow\""), 14, "\"tool\":\"Arrow\"");
  EXPECT_THROW(Mark::decodeList(json::parse(broken)), JsonDecodingError);
}

TEST(EditState, StoredFormsBareArrayAndObject) {
  Mark m;
  m.id = QUuid::createUuid();
  m.tool = MarkTool::line;
  m.ink = Ink::palette().first();
  m.style = AnnotationStyle::doodle;

  EditState withoutStyle{{m}, std::nullopt};
  JsonWriter w;
  withoutStyle.encode(w);
  const QByteArray bytes = w.take();
  EXPECT_TRUE(bytes.startsWith("{\"marks\":["));
  EXPECT_FALSE(json::parse(bytes).toObject().contains("style"));
  EXPECT_EQ(EditState::decode(json::parse(bytes)), withoutStyle);

  const EditState bare = EditState::decode(json::parse("[]"));
  EXPECT_TRUE(bare.marks.isEmpty());
  EXPECT_FALSE(bare.style.has_value());

  JsonWriter list;
  Mark::encodeList(list, {m});
  EXPECT_EQ(EditState::decode(json::parse(list.take())).style, AnnotationStyle::doodle);
  m.style.reset();
  JsonWriter list2;
  Mark::encodeList(list2, {m});
  EXPECT_EQ(EditState::decode(json::parse(list2.take())).style, AnnotationStyle::formal);

  EXPECT_THROW(EditState::decode(json::parse(R"({"style":"formal"})")), JsonDecodingError);
  EXPECT_THROW(EditState::decode(json::parse(R"({"marks":{}})")), JsonDecodingError);
}
