#include "document/UpdateSnapshot.h"

#include "platform/files/JsonReader.h"

#include <gtest/gtest.h>

using namespace crel;

namespace {
UpdateSnapshot requiredOnly() {
  UpdateSnapshot s;
  s.originalPNG = QByteArray("\x89PNG\r\n\x1a\n", 8);
  Mark m;
  m.id = QUuid::createUuid();
  m.tool = MarkTool::step;
  m.ink = Ink::palette()[1];
  m.number = 3;
  s.marks = {m};
  s.history = {EditState{{}, AnnotationStyle::formal}};
  s.savedURL = QUrl::fromLocalFile("/home/u/Pictures/Crel/Report - Editor - 2026-01-02 10.11.12.png");
  s.tool = MarkTool::step;
  s.ink = Ink::palette()[1];
  s.stroke = 64;
  s.fontSize = 40;
  s.arrowHeadScale = 1;
  return s;
}

QByteArray encoded(const UpdateSnapshot &s) {
  JsonWriter w;
  s.encode(w);
  return w.take();
}
} // namespace

TEST(UpdateSnapshot, RoundTripsEveryField) {
  UpdateSnapshot s = requiredOnly();
  s.selection = s.marks[0].id;
  s.annotationStyle = AnnotationStyle::doodle;
  s.toolWidths = QMap<QString, double>{{"step", 70}, {"arrow", 20}};
  s.toolInks = QMap<QString, Ink>{{"highlight", Ink::lemon()}};
  s.highlightMode = HighlightMode::marker;
  s.redactMode = HighlightMode::text;
  s.highlightOpacity = 0.5;
  s.blurMode = HighlightMode::text;
  s.blurEffect = BlurEffect::pixelate;
  s.blurStrength = 32;
  const QByteArray bytes = encoded(s);
  EXPECT_EQ(UpdateSnapshot::decode(json::parse(bytes)), s);
  EXPECT_TRUE(bytes.contains(R"("toolWidths":{"arrow":20,"step":70})")); // sorted: stable bytes
  EXPECT_TRUE(bytes.contains("Report%20-%20Editor"));                    // absolute, fully encoded URL
}

TEST(UpdateSnapshot, OptionalKeysAreOmittedAndRequiredKeysEnforced) {
  const QByteArray bytes = encoded(requiredOnly());
  EXPECT_FALSE(bytes.contains("\"selection\""));
  EXPECT_FALSE(bytes.contains("null"));
  const UpdateSnapshot back = UpdateSnapshot::decode(json::parse(bytes));
  EXPECT_FALSE(back.annotationStyle.has_value());
  EXPECT_FALSE(back.toolWidths.has_value());

  QJsonObject object = json::parse(bytes).toObject();
  for (const char *key : {"originalPNG", "marks", "history", "future", "savedURL", "tool", "ink", "stroke", "fontSize",
                          "arrowHeadScale"}) {
    QJsonObject missing = object;
    missing.remove(key);
    EXPECT_THROW(UpdateSnapshot::decode(missing), JsonDecodingError) << key;
  }
  object.insert("originalPNG", "not base64!");
  EXPECT_THROW(UpdateSnapshot::decode(object), JsonDecodingError);
}

TEST(UpdateSnapshot, TheSavedLocationMustBeALocalFile) {
  const QJsonObject object = json::parse(encoded(requiredOnly())).toObject();
  const struct {
    const char *url;
    bool accepted;
  } cases[] = {
      {"file:///home/u/Pictures/Crel/S%20(2).png", true},
      {"https://example.com/S.png", false},
      {"file://server/share/S.png", false},
      {"file:///home/u/Pictures/Crel/", false},
      {"data:image/png;base64,AAAA", false},
  };
  for (const auto &c : cases) {
    QJsonObject stored = object;
    stored.insert("savedURL", c.url);
    if (c.accepted)
      EXPECT_EQ(UpdateSnapshot::decode(stored).savedURL, QUrl(c.url)) << c.url;
    else
      EXPECT_THROW(UpdateSnapshot::decode(stored), JsonDecodingError) << c.url;
  }
}
