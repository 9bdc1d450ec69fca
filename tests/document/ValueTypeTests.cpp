#include "document/AnnotationStyle.h"
#include "document/BlurEffect.h"
#include "document/CrelError.h"
#include "document/EditorSize.h"
#include "document/HighlightMode.h"
#include "document/Ink.h"
#include "document/MarkTool.h"

#include "platform/AppTheme.h"
#include "platform/BundledFonts.h"
#include "platform/JsonReader.h"

#include <QFontInfo>

#include <gtest/gtest.h>

using namespace crel;

TEST(MarkTool, RawValuesRoundTripAndMatchExactly) {
  const auto tools = allCases<MarkTool>();
  ASSERT_EQ(tools.size(), 13u);
  QSet<QString> shortcuts;
  for (MarkTool tool : tools) {
    JsonWriter w;
    w.beginArray();
    writeRawValue(w, tool);
    w.endArray();
    EXPECT_EQ(decodeRawValue<MarkTool>(json::toArray(json::parse(w.take()))[0]), tool);
    EXPECT_EQ(fromRawValue<MarkTool>(rawValue(tool)), tool);
    shortcuts.insert(shortcut(tool));
  }
  EXPECT_EQ(shortcuts.size(), 13); // every letter selects one tool
  EXPECT_FALSE(fromRawValue<MarkTool>(u"Arrow").has_value());
  EXPECT_THROW(decodeRawValue<MarkTool>(QJsonValue("Arrow")), JsonDecodingError);
  EXPECT_EQ(label(MarkTool::extract), "Select text");
  EXPECT_EQ(shortcut(MarkTool::extract), "x");
  EXPECT_EQ(rawValue(tools.front()), "select");
  EXPECT_EQ(rawValue(tools.back()), "extract");
  EXPECT_EQ(hint(MarkTool::line), hint(MarkTool::arrow));
}

TEST(Ink, PaletteAndStoredForm) {
  const QList<Ink> &palette = Ink::palette();
  ASSERT_EQ(palette.size(), 6);
  const QColor primary = AppTheme::primary();
  EXPECT_EQ(palette[1].name, "Blue");
  EXPECT_EQ(palette[1].red, primary.redF());
  EXPECT_EQ(palette[1].green, primary.greenF());
  EXPECT_EQ(palette[1].blue, primary.blueF());
  EXPECT_EQ(palette[0], (Ink{"Coral", 0.92, 0.25, 0.23}));

  JsonWriter w;
  palette[0].encode(w);
  EXPECT_EQ(w.take(), R"({"name":"Coral","red":0.92,"green":0.25,"blue":0.23})");
  EXPECT_THROW(Ink::decode(json::parse(R"({"name":"Coral","red":1,"green":0})")), JsonDecodingError);
  EXPECT_THROW(Ink::decode(json::parse(R"({"name":"Coral","red":1,"green":0,"blue":"0"})")), JsonDecodingError);
}

TEST(Ink, DisplayNamesAndCustomColours) {
  EXPECT_EQ((Ink{"Lemon", 1, 0.88, 0.05}).displayName(), "Lemon");
  EXPECT_EQ((Ink{"Tangerine", 1, 0.5, 0}).displayName(), "Tangerine");
  const Ink invalid = Ink::custom(QColor());
  EXPECT_EQ(invalid, (Ink{"Custom", 0, 0, 0}));
  const Ink fromHsv = Ink::custom(QColor::fromHsvF(0, 1, 1, 0.5));
  EXPECT_EQ(fromHsv.name, "Custom");
  EXPECT_DOUBLE_EQ(fromHsv.red, 1);
  EXPECT_DOUBLE_EQ(fromHsv.green, 0);
  const Ink extended = Ink::custom(QColor::fromRgbF(1.4f, -0.2f, 0.5f));
  EXPECT_EQ(extended.red, 1);
  EXPECT_EQ(extended.green, 0);
}

TEST(ValueTypes, LabelsSizesAndErrors) {
  EXPECT_EQ(blurStrengthLabels(), QStringList({"Light", "Medium", "Strong", "Max"}));
  EXPECT_EQ(label(HighlightMode::text), "Smart text");
  EXPECT_EQ(contentSize(EditorSize::compact), QSize(800, 460));
  EXPECT_EQ(contentSize(EditorSize::large), QSize(1120, 780));
  EXPECT_EQ(CrelError::capture("Exactly this.").errorDescription(), "Exactly this.");
  EXPECT_STREQ(CrelError::shortcut("That one.").what(), "That one.");
  EXPECT_EQ(CrelError::invalidImage().errorDescription(),
            "Choose a PNG, JPEG, TIFF, or HEIC image smaller than 80 megapixels.");
}

TEST(AnnotationStyle, DoodleFontFallsBackToTheFormalFont) {
  EXPECT_EQ(QFontInfo(font(AnnotationStyle::doodle, 20)).family(), "Comic Neue");
  BundledFonts::setDoodleFamilyForTesting("No Such Handwriting");
  const QFont doodle = font(AnnotationStyle::doodle, 20);
  const QFont formal = font(AnnotationStyle::formal, 20);
  BundledFonts::setDoodleFamilyForTesting("Comic Neue");
  EXPECT_EQ(doodle, formal);
  EXPECT_EQ(formal.pointSizeF(), 20);
  EXPECT_EQ(formal.weight(), QFont::Medium);
  EXPECT_GT(font(AnnotationStyle::formal, std::nan("")).pointSizeF(), 0); // stored sizes are not validated
}
