#include "editor/InspectorDescription.h"

#include "document/RecognizedText.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

using namespace crel;

namespace {

using Kind = InspectorControl::Kind;

InspectorInputs inputs(MarkTool tool, bool selected = false) {
  InspectorInputs in;
  in.activeTool = tool;
  in.ink = Ink::palette().first();
  in.stroke = 8;
  in.fontSize = 40;
  in.blurStrength = 16;
  in.highlightOpacity = 0.35;
  in.hasSelection = selected;
  if (selected)
    in.selectedRotation = 0;
  return in;
}

QStringList keys(const InspectorDescription &description) {
  QStringList k;
  for (const InspectorControl &c : description.controls)
    k << (c.key.startsWith("divider") ? QStringLiteral("|") : c.key);
  return k;
}

// A copy: the description is often a temporary.
InspectorControl find(const InspectorDescription &description, const QString &key) {
  const InspectorControl *c = description.find(key);
  EXPECT_NE(c, nullptr) << qPrintable(key);
  return c ? *c : InspectorControl{};
}

} // namespace

// The order of the groups for each kind of state, in both forms: the
// compact form loses only the exact-value menus (and the blur labels).
TEST(InspectorDescription, ControlsInOrderPerToolAndForm) {
  struct Case {
    const char *name;
    InspectorInputs in;
    QStringList wide, compact;
  };
  InspectorInputs marker = inputs(MarkTool::highlight);
  marker.highlightMode = HighlightMode::marker;
  InspectorInputs smart = inputs(MarkTool::highlight);
  smart.highlightMode = HighlightMode::text;
  smart.recognitionStatus = "No text found.";
  InspectorInputs redactText = inputs(MarkTool::redact);
  redactText.redactMode = HighlightMode::text;
  redactText.recognizing = true;
  InspectorInputs blurText = inputs(MarkTool::blur, true);
  blurText.blurMode = HighlightMode::text;
  blurText.recognizing = true;
  const QStringList selection{"|", "rotation-menu", "duplicate", "delete"};
  const Case cases[] = {
      {"select", inputs(MarkTool::select), {"select-hint"}, {"select-hint"}},
      {"selected arrow", inputs(MarkTool::arrow, true),
       QStringList{"ink-palette", "|", "weight-presets", "weight-menu"} + selection,
       QStringList{"ink-palette", "|", "weight-presets"} + selection},
      {"text",
       inputs(MarkTool::text),
       {"ink-palette", "|", "text-size-presets", "text-size-menu"},
       {"ink-palette", "|", "text-size-presets"}},
      {"highlight marker",
       marker,
       {"highlight-mode", "|", "ink-palette", "|", "weight-presets", "weight-menu", "|", "opacity-menu"},
       {"highlight-mode", "|", "ink-palette", "|", "weight-presets", "|", "opacity-menu"}},
      {"highlight smart text",
       smart,
       {"highlight-mode", "|", "ink-palette", "|", "opacity-menu", "recognition-note"},
       {"highlight-mode", "|", "ink-palette", "|", "opacity-menu", "recognition-note"}},
      {"redact smart text",
       redactText,
       {"redact-mode", "|", "solid-cover-note", "recognition-note"},
       {"redact-mode", "|", "solid-cover-note", "recognition-note"}},
      {"selected blur in smart text", blurText,
       QStringList{"blur-region-mode", "|", "blur-effect", "blur-strength", "strength-menu", "recognition-note",
                   "blur-privacy"} +
           selection,
       QStringList{"blur-region-mode", "|", "blur-effect", "blur-strength", "recognition-note", "blur-privacy"} +
           selection},
      {"extract",
       inputs(MarkTool::extract),
       {"extract-summary", "|", "select-all", "copy-text"},
       {"extract-summary", "|", "select-all", "copy-text"}},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(keys(describeInspector(c.in, false)), c.wide) << c.name;
    EXPECT_EQ(keys(describeInspector(c.in, true)), c.compact) << c.name;
  }
}

// A preset is the first within 0.5 of the value; blur strengths match exactly.
TEST(InspectorDescription, PresetSelectionFollowsTheValue) {
  struct Case {
    MarkTool tool;
    double value;
    const char *control;
    std::optional<int> selected;
    const char *menuLabel;
  };
  const Case cases[] = {
      {MarkTool::line, 13, "weight-presets", std::nullopt, "13"},
      {MarkTool::line, 12.4, "weight-presets", 2, "12"},
      {MarkTool::arrow, 21.6, "weight-presets", 2, "21"},
      {MarkTool::step, 64, "weight-presets", 2, "64"},
      {MarkTool::text, 27.7, "text-size-presets", 1, "27"},
      {MarkTool::blur, 20, "blur-strength", std::nullopt, "20"},
      {MarkTool::blur, 16, "blur-strength", 1, "16"},
      {MarkTool::blur, 16.2, "blur-strength", std::nullopt, "16"},
  };
  for (const Case &c : cases) {
    InspectorInputs in = inputs(c.tool);
    in.stroke = in.fontSize = in.blurStrength = c.value;
    const InspectorDescription description = describeInspector(in, false);
    EXPECT_EQ(find(description, c.control).selected, c.selected) << c.control << " " << c.value;
    const QString menu = c.tool == MarkTool::text   ? "text-size-menu"
                         : c.tool == MarkTool::blur ? "strength-menu"
                                                    : "weight-menu";
    EXPECT_EQ(find(description, menu).text, QString(c.menuLabel)) << c.value;
  }
}

TEST(InspectorDescription, PaletteSelectsWithinATolerance) {
  struct Case {
    const char *name;
    MarkTool tool;
    Ink ink;
    int swatches;
    std::optional<int> selected;
    bool custom;
  };
  Ink nearBlue = Ink::palette()[1];
  nearBlue.name = "Custom";
  nearBlue.blue += 0.0009;
  Ink offBlue = nearBlue;
  offBlue.green += 0.0011;
  const Case cases[] = {
      {"palette ink", MarkTool::arrow, Ink::palette()[2], 6, 2, false},
      {"within 0.001, any name", MarkTool::pen, nearBlue, 6, 1, false},
      {"custom", MarkTool::rectangle, offBlue, 6, std::nullopt, true},
      {"highlight lemon", MarkTool::highlight, Ink::lemon(), 5, 0, false},
      {"drawing ink on the highlighter", MarkTool::highlight, Ink::palette()[0], 5, std::nullopt, true},
  };
  for (const Case &c : cases) {
    InspectorInputs in = inputs(c.tool);
    in.ink = c.ink;
    const InspectorControl palette = find(describeInspector(in, false), "ink-palette");
    ASSERT_EQ(palette.swatches.size(), c.swatches) << c.name;
    std::optional<int> selected;
    for (int i = 0; i < palette.swatches.size(); ++i)
      if (palette.swatches[i].selected) {
        EXPECT_FALSE(selected) << c.name;
        selected = i;
      }
    EXPECT_EQ(selected, c.selected) << c.name;
    EXPECT_EQ(palette.customInk, c.custom ? std::optional<Ink>(c.ink) : std::nullopt) << c.name;
  }
}

// The note: spinner while recognizing; nothing with words or before any
// recognition; else "No text found".
TEST(InspectorDescription, RecognitionNoteStates) {
  struct Case {
    bool recognizing;
    int words;
    const char *status;
    std::optional<Kind> kind;
  };
  const Case cases[] = {
      {false, 0, "", std::nullopt},
      {true, 0, "", Kind::spinner},
      {true, 4, "Found 4 words.", Kind::spinner},
      {false, 4, "Found 4 words.", std::nullopt},
      {false, 0, "Found 4 words.", Kind::label},
  };
  for (const Case &c : cases)
    for (MarkTool tool : {MarkTool::highlight, MarkTool::redact, MarkTool::blur}) {
      InspectorInputs in = inputs(tool);
      in.highlightMode = in.redactMode = in.blurMode = HighlightMode::text;
      in.recognizing = c.recognizing;
      in.availableWords = c.words;
      in.recognitionStatus = c.status;
      const InspectorDescription description = describeInspector(in, false);
      const InspectorControl *note = description.find("recognition-note");
      EXPECT_EQ(note ? std::optional<Kind>(note->kind) : std::nullopt, c.kind) << c.status;
      if (note && note->kind == Kind::label) {
        EXPECT_EQ(note->text, "No text found");
      }
    }
}

TEST(InspectorDescription, ExtractSummaryAndButtons) {
  struct Case {
    int available, selected;
    bool recognizing;
    QString status;
    const char *summary;
    bool selectAll, copy;
    const char *copyLabel;
  };
  const Case cases[] = {
      {5, 3, true, "", "Selected words: 3", true, true, "Copy text"},
      {0, 0, true, "", "Finding text on this computer…", false, false, "Copy text"},
      {0, 0, false, "", "No text found in this crel", false, false, "Copy text"},
      {5, 0, false, "", "Drag across words to select them", true, false, "Copy text"},
      {5, 2, false, RecognizedText::copiedStatus(), "Selected words: 2", true, true, "Copied"},
      {5, 2, false, "Saved a.png", "Selected words: 2", true, true, "Copy text"},
  };
  for (const Case &c : cases) {
    InspectorInputs in = inputs(MarkTool::extract);
    in.availableWords = c.available;
    in.selectedWords = c.selected;
    in.recognizing = c.recognizing;
    in.status = c.status;
    const InspectorDescription description = describeInspector(in, true);
    EXPECT_EQ(find(description, "extract-summary").text, QString::fromUtf8(c.summary));
    EXPECT_EQ(find(description, "select-all").enabled, c.selectAll) << c.summary;
    EXPECT_EQ(find(description, "copy-text").enabled, c.copy) << c.summary;
    EXPECT_EQ(find(description, "copy-text").text, c.copyLabel) << qPrintable(c.status);
  }
}

TEST(InspectorDescription, OpacityAndRotationLabelsRound) {
  struct Opacity {
    double value;
    const char *label, *accessibility;
  };
  for (const Opacity &c :
       {Opacity{0.35, "35%", "Highlight opacity 35%"}, Opacity{0.125, "13%", "Highlight opacity 13%"},
        Opacity{0.654, "65%", "Highlight opacity 65%"}, Opacity{-0.001, "0%", "Highlight opacity 0%"}}) {
    InspectorInputs in = inputs(MarkTool::highlight);
    in.highlightOpacity = c.value;
    const InspectorControl menu = find(describeInspector(in, true), "opacity-menu");
    EXPECT_EQ(menu.text, c.label);
    EXPECT_EQ(menu.accessibility, c.accessibility);
  }
  struct Rotation {
    std::optional<double> angle;
    const char *value;
  };
  const double pi = std::numbers::pi;
  for (const Rotation &c :
       {Rotation{pi / 12, "15 degrees"}, Rotation{-pi / 2, "-90 degrees"}, Rotation{0, "0 degrees"},
        Rotation{std::nan(""), "0 degrees"}, Rotation{INFINITY, "0 degrees"}, Rotation{std::nullopt, "0 degrees"}}) {
    InspectorInputs in = inputs(MarkTool::rectangle, true);
    in.selectedRotation = c.angle;
    const InspectorControl menu = find(describeInspector(in, false), "rotation-menu");
    EXPECT_EQ(menu.text, c.value);
  }
  // Values of any magnitude (a damaged record's) keep their digits rather
  // than wrapping through an integer.
  InspectorInputs in = inputs(MarkTool::highlight);
  in.highlightOpacity = 1e30;
  const QString percent = find(describeInspector(in, true), "opacity-menu").text;
  EXPECT_TRUE(percent.startsWith("1000000000000000") && percent.endsWith("%")) << percent.toStdString();
  in = inputs(MarkTool::rectangle, true);
  in.selectedRotation = -1e30;
  const QString degrees = find(describeInspector(in, false), "rotation-menu").text;
  EXPECT_TRUE(degrees.startsWith("-5729577951308") && degrees.endsWith(" degrees")) << degrees.toStdString();
}
