#include "document/EditState.h"

#include "platform/JsonReader.h"

#include <gtest/gtest.h>

using namespace crel;

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
