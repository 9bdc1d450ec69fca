#include "platform/files/JsonCoding.h"
#include "platform/files/JsonReader.h"
#include "platform/files/JsonWriter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace crel;

TEST(JsonWriter, KeepsDeclaredKeyOrderAndShortestNumbers) {
  JsonWriter w;
  w.beginObject();
  w.field("zeta", 0.1);
  w.field("alpha", 32.0);
  w.field("mid", 1e300);
  w.field("neg", -2.5);
  w.field("int", 7);
  w.field("flag", false);
  w.key("list");
  w.beginArray();
  w.endArray();
  w.key("nested");
  w.beginObject();
  w.endObject();
  w.endObject();
  EXPECT_EQ(w.take(), R"({"zeta":0.1,"alpha":32,"mid":1e+300,"neg":-2.5,"int":7,"flag":false,"list":[],"nested":{}})");
}

TEST(JsonWriter, DoublesRoundTripExactly) {
  for (double v : {0.1 + 0.2, 1.0 / 3.0, 5e-324, 1.7976931348623157e308, -0.0, 123456789.125}) {
    JsonWriter w;
    w.beginArray();
    w.value(v);
    w.endArray();
    const double back = json::toDouble(json::toArray(json::parse(w.take()))[0]);
    EXPECT_EQ(back, v);
  }
}

TEST(JsonWriter, NonFiniteNumbersFailTheEncoding) {
  for (double bad : {std::nan(""), std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()}) {
    JsonWriter w;
    w.beginObject();
    EXPECT_THROW(w.field("x", bad), JsonEncodingError);
  }
}

TEST(JsonWriter, EscapesStringsAndWritesUuidsUpperCase) {
  JsonWriter w;
  w.beginArray();
  w.value(QString::fromUtf8("a\"b\\c\nd\x01 é"));
  w.value(QUuid("{0f8fad5b-d9cb-469f-a165-70867728950e}"));
  w.valueBase64(QByteArray("hi?"));
  w.endArray();
  EXPECT_EQ(w.take(),
            QByteArray("[\"a\\\"b\\\\c\\nd\\u0001 \xc3\xa9\",\"0F8FAD5B-D9CB-469F-A165-70867728950E\",\"aGk/\"]"));
}

TEST(JsonWriter, RejectsMalformedStructure) {
  JsonWriter w;
  w.beginObject();
  EXPECT_THROW(w.value(1.0), JsonEncodingError); // value without key
  EXPECT_THROW(w.take(), JsonEncodingError);     // still open
}

TEST(JsonReader, IsStrictAboutTypes) {
  EXPECT_THROW(json::toDouble(QJsonValue("1")), JsonDecodingError);
  EXPECT_THROW(json::toString(QJsonValue(1)), JsonDecodingError);
  EXPECT_THROW(json::toBool(QJsonValue(0)), JsonDecodingError);
  EXPECT_THROW(json::toInteger(QJsonValue(1.5)), JsonDecodingError);
  EXPECT_EQ(json::toInteger(QJsonValue(3.0)), 3);
  EXPECT_THROW(json::toPoint(json::parse("[1,2,3]")), JsonDecodingError);
  EXPECT_THROW(json::parse("{\"a\":"), JsonDecodingError);
  EXPECT_EQ(json::toUuid(QJsonValue("0f8fad5b-d9cb-469f-a165-70867728950e")),
            QUuid("{0F8FAD5B-D9CB-469F-A165-70867728950E}"));
  EXPECT_THROW(json::toUuid(QJsonValue("{0f8fad5b-d9cb-469f-a165-70867728950e}")), JsonDecodingError);
  EXPECT_THROW(json::toUuid(QJsonValue("not a uuid")), JsonDecodingError);
}

TEST(JsonReader, RectanglesAndOptionalFields) {
  const QJsonValue v = json::parse(R"({"r":[[1,2],[3,4]],"n":null,"extra":true})");
  const JsonObjectReader r(v, "T");
  EXPECT_EQ(r.required("r", json::toRect), geom::Rect(1, 2, 3, 4));
  EXPECT_FALSE(r.optional("n", json::toDouble).has_value());
  EXPECT_FALSE(r.optional("missing", json::toDouble).has_value());
  EXPECT_THROW(r.required("missing", json::toDouble), JsonDecodingError);
  EXPECT_THROW(r.optional("extra", json::toDouble), JsonDecodingError);
  try {
    r.required("missing", json::toDouble);
  } catch (const JsonDecodingError &e) {
    EXPECT_STREQ(e.what(), "T.missing: is missing");
  }
}
