#pragma once

#include "chrome/WeightGlyph.h"
#include "document/BlurEffect.h"
#include "document/HighlightMode.h"
#include "document/Ink.h"
#include "document/MarkTool.h"

#include <QList>
#include <QString>

#include <optional>

namespace crel {

class CrelDocument;

// What one inspector control does to the document. `value` carries the
// number, or the raw index of a mode, effect or tool.
struct InspectorAction {
  enum class Kind {
    none,
    setInk,
    openCustomInk, // the one action that keeps the keyboard focus where it is
    setStroke,
    setFontSize,
    setArrowHeadScale,
    setHighlightMode,
    setRedactMode,
    setBlurMode,
    setBlurEffect,
    setBlurStrength,
    setHighlightOpacity,
    selectAllWords,
    copyRecognizedText,
    selectTool,
    rotate, // by `value` radians
    resetRotation,
    duplicate,
    deleteSelection,
  };
  Kind kind = Kind::none;
  double value = 0;
  Ink ink;

  bool operator==(const InspectorAction &) const = default;
};

// The groups a tool's inspector shows, as flags of the tool (of the selected
// mark's tool while one is selected).
struct InspectorFlags {
  enum class Palette { none, drawing, highlight };
  Palette palette = Palette::none;
  bool selectHint = false, weightPresets = false, fontPresets = false;
  bool highlightModes = false, redactModes = false, blurOptions = false, extractOptions = false;
};
InspectorFlags inspectorFlags(MarkTool tool);

// The document state the inspector shows; nothing else goes in.
struct InspectorInputs {
  MarkTool activeTool = MarkTool::arrow;
  Ink ink;
  double stroke = 0, fontSize = 0, blurStrength = 0, highlightOpacity = 0;
  HighlightMode highlightMode = HighlightMode::text, redactMode = HighlightMode::area, blurMode = HighlightMode::area;
  BlurEffect blurEffect = BlurEffect::blur;
  bool hasSelection = false;
  // The first mark with the selected id's rotation; none when no mark has it.
  std::optional<double> selectedRotation;
  int availableWords = 0, selectedWords = 0;
  bool recognizing = false;
  QString recognitionStatus, status;

  static InspectorInputs from(const CrelDocument &document);
  bool operator==(const InspectorInputs &) const = default;
};

// One control of the inspector, as a value. Which fields matter depends on
// the kind; `key` names the control among its siblings, so a widget can be
// kept for it across changes.
struct InspectorControl {
  enum class Kind {
    label,        // symbol and/or text (select hint, notes, extract summary)
    divider,      //
    inkPalette,   // swatches + the custom swatch
    segmented,    // text, symbol or weight-glyph segments
    valueMenu,    // exact-value pull-down
    rotationMenu, //
    iconButton,   // symbol with a hover hint
    textButton,   // "Select all"
    copyButton,   // the prominent copy action
    spinner,      // recognition in progress
  };
  struct Segment {
    QString text, symbol, help;
    bool operator==(const Segment &) const = default;
  };
  struct Swatch {
    Ink ink;
    bool selected = false;
    bool operator==(const Swatch &) const = default;
  };
  struct MenuItem {
    enum class Role { action, heading, separator };
    Role role = Role::action;
    QString title;
    InspectorAction action;
    bool operator==(const MenuItem &) const = default;
  };

  Kind kind = Kind::label;
  QString key;
  QString text, symbol, help, accessibility;
  std::optional<QString> shortcut;
  double symbolSize = 12;
  bool enabled = true;

  // segmented
  QList<Segment> segments;
  std::optional<int> selected;
  std::optional<double> segmentWidth;
  std::optional<WeightGlyph::Kind> glyph; // segments are glyphs of this kind
  QList<InspectorAction> segmentActions;

  // inkPalette
  QList<Swatch> swatches;
  std::optional<Ink> customInk; // shown in the custom swatch

  // menus
  QList<MenuItem> menu;

  // buttons
  InspectorAction action;

  bool operator==(const InspectorControl &) const = default;
};

struct InspectorDescription {
  QList<InspectorControl> controls;

  // The kinds and keys in order: equal signatures reuse every widget.
  QStringList signature() const;
  const InspectorControl *find(const QString &key) const;
  bool operator==(const InspectorDescription &) const = default;
};

// The inspector for `inputs`, wide or compact. Pure.
InspectorDescription describeInspector(const InspectorInputs &inputs, bool compact);

} // namespace crel
