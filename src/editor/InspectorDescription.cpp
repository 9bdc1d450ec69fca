#include "InspectorDescription.h"

#include "chrome/ShortcutText.h"
#include "document/CrelDocument.h"
#include "platform/base/Translate.h"

#include <array>
#include <cmath>
#include <numbers>

namespace crel {

namespace {

using Kind = InspectorControl::Kind;
using Act = InspectorAction::Kind;
using MenuItem = InspectorControl::MenuItem;

struct WeightTable {
  std::array<double, 4> presets;
  const char *noun;
  QList<double> menu;
  bool arrowhead;
};

const QList<double> &sixteenWeights() {
  static const QList<double> values{1, 2, 3, 4, 6, 8, 10, 12, 14, 16, 20, 24, 32, 40, 64, 96};
  return values;
}

WeightTable weightTable(MarkTool tool) {
  switch (tool) {
  case MarkTool::arrow: return {{8, 14, 22, 32}, QT_TRANSLATE_NOOP("Crel", "Weight"), sixteenWeights(), true};
  case MarkTool::highlight: return {{14, 24, 40, 64}, QT_TRANSLATE_NOOP("Crel", "Weight"), sixteenWeights(), false};
  case MarkTool::step:
    return {{28, 40, 64, 96}, QT_TRANSLATE_NOOP("Crel", "Size"), {20, 28, 40, 56, 64, 72, 96}, false};
  default: return {{4, 8, 12, 24}, QT_TRANSLATE_NOOP("Crel", "Weight"), sixteenWeights(), false};
  }
}

WeightGlyph::Kind glyphKind(MarkTool tool) {
  switch (tool) {
  case MarkTool::text: return WeightGlyph::Kind::letter;
  case MarkTool::step: return WeightGlyph::Kind::dot;
  case MarkTool::highlight: return WeightGlyph::Kind::marker;
  default: return WeightGlyph::Kind::stroke;
  }
}

const QList<Ink> &highlightPalette() {
  static const QList<Ink> inks{{"Lemon", 1.0, 0.88, 0.05},
                               {"Mint", 0.15, 0.9, 0.4},
                               {"Pink", 1.0, 0.35, 0.62},
                               {"Sky", 0.1, 0.7, 1.0},
                               {"Lilac", 0.7, 0.4, 1.0}};
  return inks;
}

bool sameColour(const Ink &a, const Ink &b) {
  return std::abs(a.red - b.red) < 0.001 && std::abs(a.green - b.green) < 0.001 && std::abs(a.blue - b.blue) < 0.001;
}

// Weight, size and strength labels drop the fraction; opacity and degrees
// round. Any double formats, however large (a restored record's value).
QString integral(double value) {
  if (!std::isfinite(value) || value == 0)
    return QStringLiteral("0");
  return QString::number(value, 'f', 0);
}
QString whole(double value) { return integral(std::trunc(value)); }
QString rounded(double value) { return integral(std::round(value)); }

InspectorAction act(Act kind, double value = 0) { return {kind, value, {}}; }

// The segment of `mode` among area (0) and Smart text (1).
std::optional<int> areaOrText(HighlightMode mode) {
  if (mode == HighlightMode::area)
    return 0;
  if (mode == HighlightMode::text)
    return 1;
  return std::nullopt;
}

InspectorControl control(Kind kind, const QString &key) {
  InspectorControl c;
  c.kind = kind;
  c.key = key;
  return c;
}

InspectorControl label(const QString &key, const QString &symbol, const QString &text, double symbolSize = 13) {
  InspectorControl c = control(Kind::label, key);
  c.symbol = symbol;
  c.text = text;
  c.symbolSize = symbolSize;
  return c;
}

InspectorControl valueMenu(const QString &key, const QString &label, const QString &accessibility,
                           QList<MenuItem> items) {
  InspectorControl c = control(Kind::valueMenu, key);
  c.text = label;
  c.accessibility = accessibility;
  c.help = tr("Choose an exact value. [ and ] also adjust the weight.");
  c.menu = std::move(items);
  return c;
}

MenuItem heading(const QString &title) { return {MenuItem::Role::heading, title, {}}; }
MenuItem item(const QString &title, InspectorAction action) { return {MenuItem::Role::action, title, action}; }
MenuItem separator() { return {MenuItem::Role::separator, {}, {}}; }

InspectorControl iconButton(const QString &key, const QString &symbol, const QString &title,
                            std::optional<QString> shortcut, InspectorAction action) {
  InspectorControl c = control(Kind::iconButton, key);
  c.symbol = symbol;
  c.help = title;
  c.accessibility = title;
  c.shortcut = std::move(shortcut);
  c.action = action;
  return c;
}

// A segmented control whose segments act through `kind` with their values.
InspectorControl segmented(const QString &key, QList<InspectorControl::Segment> segments, std::optional<int> selected,
                           std::optional<double> width, Act kind, const QList<double> &values) {
  InspectorControl c = control(Kind::segmented, key);
  c.segments = std::move(segments);
  c.selected = selected;
  c.segmentWidth = width;
  for (double v : values)
    c.segmentActions.append(act(kind, v));
  return c;
}

class Builder {
public:
  Builder(const InspectorInputs &in, bool compact) : in_(in), compact_(compact) {}

  InspectorDescription build() {
    const InspectorFlags flags = inspectorFlags(in_.activeTool);
    if (flags.selectHint)
      add(label("select-hint", "cursorarrow", tr("Select a mark to move, resize or rotate it.")));
    if (flags.highlightModes) {
      addHighlightModes();
      divider();
    }
    if (flags.redactModes)
      addRedact();
    if (flags.palette != InspectorFlags::Palette::none) {
      addPalette(flags.palette == InspectorFlags::Palette::highlight ? highlightPalette() : Ink::palette());
      divider();
    }
    if (flags.weightPresets && (in_.activeTool != MarkTool::highlight || in_.highlightMode == HighlightMode::marker)) {
      addWeightPresets();
      if (in_.activeTool == MarkTool::highlight)
        divider();
    }
    if (flags.fontPresets)
      addFontPresets();
    if (flags.highlightModes) {
      addOpacityMenu();
      if (in_.highlightMode == HighlightMode::text)
        addRecognitionNote();
    }
    if (flags.blurOptions)
      addBlurOptions();
    if (flags.extractOptions)
      addExtractOptions();
    if (in_.hasSelection)
      addSelectionActions();
    return description_;
  }

private:
  void add(InspectorControl c) { description_.controls.append(std::move(c)); }
  void divider() { add(control(Kind::divider, QStringLiteral("divider-%1").arg(++dividers_))); }

  void addHighlightModes() {
    const QList<HighlightMode> modes{HighlightMode::text, HighlightMode::marker, HighlightMode::area};
    const char *symbols[] = {"text.word.spacing", "highlighter", "rectangle.dashed"};
    QList<InspectorControl::Segment> segments;
    QList<double> values;
    for (int i = 0; i < 3; ++i) {
      segments.append({{}, QString::fromLatin1(symbols[i]), crel::label(modes[i])});
      values.append(int(modes[i]));
    }
    add(segmented("highlight-mode", segments, int(modes.indexOf(in_.highlightMode)), 32, Act::setHighlightMode,
                  values));
  }

  void addRedact() {
    add(segmented("redact-mode",
                  {{tr("Area"), {}, tr("Cover an area")}, {tr("Smart text"), {}, tr("Cover recognized words")}},
                  areaOrText(in_.redactMode), std::nullopt, Act::setRedactMode,
                  {double(HighlightMode::area), double(HighlightMode::text)}));
    divider();
    InspectorControl note = label("solid-cover-note", "lock.fill", tr("Solid cover. Review before sharing."), 12);
    add(note);
    if (in_.redactMode == HighlightMode::text)
      addRecognitionNote();
  }

  void addPalette(const QList<Ink> &inks) {
    InspectorControl c = control(Kind::inkPalette, "ink-palette");
    c.accessibility = tr("Ink");
    bool matched = false;
    for (const Ink &ink : inks) {
      const bool selected = sameColour(in_.ink, ink);
      matched = matched || selected;
      c.swatches.append({ink, selected});
    }
    if (!matched)
      c.customInk = in_.ink;
    c.action = act(Act::openCustomInk);
    add(c);
  }

  void addWeightPresets() {
    const WeightTable table = weightTable(in_.activeTool);
    const QString noun = tr(table.noun);
    QList<InspectorControl::Segment> segments;
    std::optional<int> selected;
    for (int i = 0; i < 4; ++i) {
      segments.append({{}, {}, tr("%1 %2 px").arg(noun, whole(table.presets[i]))});
      if (!selected && std::abs(table.presets[i] - in_.stroke) < 0.5)
        selected = i;
    }
    InspectorControl c = segmented("weight-presets", segments, selected, 28, Act::setStroke,
                                   {table.presets.begin(), table.presets.end()});
    c.glyph = glyphKind(in_.activeTool);
    add(c);
    if (compact_)
      return;
    QList<MenuItem> items{heading(noun)};
    for (double v : table.menu)
      items.append(item(tr("%1 px").arg(whole(v)), act(Act::setStroke, v)));
    if (table.arrowhead) {
      items.append(heading(tr("Arrowhead")));
      items.append(item(tr("Compact"), act(Act::setArrowHeadScale, 0.75)));
      items.append(item(tr("Standard"), act(Act::setArrowHeadScale, 1.0)));
      items.append(item(tr("Large"), act(Act::setArrowHeadScale, 1.35)));
    }
    add(valueMenu("weight-menu", whole(in_.stroke), tr("%1 %2 px").arg(noun, whole(in_.stroke)), items));
  }

  void addFontPresets() {
    const std::array<double, 4> presets{18, 28, 40, 64};
    QList<InspectorControl::Segment> segments;
    std::optional<int> selected;
    for (int i = 0; i < 4; ++i) {
      segments.append({{}, {}, tr("Text size %1 px").arg(whole(presets[i]))});
      if (!selected && std::abs(presets[i] - in_.fontSize) < 0.5)
        selected = i;
    }
    InspectorControl c =
        segmented("text-size-presets", segments, selected, 28, Act::setFontSize, {presets.begin(), presets.end()});
    c.glyph = WeightGlyph::Kind::letter;
    add(c);
    if (compact_)
      return;
    QList<MenuItem> items;
    for (double v : {12, 14, 16, 18, 22, 28, 34, 40, 48, 64, 80, 120})
      items.append(item(tr("%1 px").arg(whole(v)), act(Act::setFontSize, v)));
    add(valueMenu("text-size-menu", whole(in_.fontSize), tr("Text size %1 px").arg(whole(in_.fontSize)), items));
  }

  void addOpacityMenu() {
    const QString percent = rounded(in_.highlightOpacity * 100);
    QList<MenuItem> items;
    for (int choice : {20, 35, 50, 65})
      items.append(item(tr("%1%").arg(choice), act(Act::setHighlightOpacity, choice / 100.0)));
    add(valueMenu("opacity-menu", QStringLiteral("%1%").arg(percent), tr("Highlight opacity %1%").arg(percent), items));
  }

  void addRecognitionNote() {
    if (in_.recognizing) {
      InspectorControl c = control(Kind::spinner, "recognition-note");
      c.help = tr("Finding text on this computer…");
      add(c);
    } else if (in_.availableWords == 0 && !in_.recognitionStatus.isEmpty()) {
      add(label("recognition-note", {}, tr("No text found")));
    }
  }

  void addBlurOptions() {
    const bool c = compact_;
    const std::optional<double> width = c ? std::optional<double>(28) : std::nullopt;
    add(segmented("blur-region-mode",
                  {{c ? QString() : tr("Area"), c ? "rectangle.dashed" : "", tr("Blur an area, such as a face")},
                   {c ? QString() : tr("Smart text"), c ? "text.word.spacing" : "", tr("Blur recognized words")}},
                  areaOrText(in_.blurMode), width, Act::setBlurMode,
                  {double(HighlightMode::area), double(HighlightMode::text)}));
    divider();
    const QString blur = crel::label(BlurEffect::blur), pixelate = crel::label(BlurEffect::pixelate);
    add(segmented("blur-effect",
                  {{c ? QString() : blur, c ? "drop.halffull" : "", blur},
                   {c ? QString() : pixelate, c ? "square.grid.3x3.fill" : "", pixelate}},
                  in_.blurEffect == BlurEffect::blur ? 0 : 1, width, Act::setBlurEffect,
                  {double(BlurEffect::blur), double(BlurEffect::pixelate)}));
    const std::array<double, 4> strengths{8, 16, 32, 64};
    const QStringList names = blurStrengthLabels();
    QList<InspectorControl::Segment> segments;
    std::optional<int> selected;
    for (int i = 0; i < 4; ++i) {
      segments.append(
          {c ? QString::number(i + 1) : names[i], {}, tr("%1 strength, %2 px").arg(names[i], whole(strengths[i]))});
      if (!selected && strengths[i] == in_.blurStrength)
        selected = i;
    }
    add(segmented("blur-strength", segments, selected, c ? std::optional<double>(26) : std::nullopt,
                  Act::setBlurStrength, {strengths.begin(), strengths.end()}));
    if (!c) {
      QList<MenuItem> items{heading(tr("Strength"))};
      for (double v : {4, 8, 16, 24, 32, 48, 64, 96})
        items.append(item(tr("%1 px").arg(whole(v)), act(Act::setBlurStrength, v)));
      add(valueMenu("strength-menu", whole(in_.blurStrength), tr("Blur strength %1 px").arg(whole(in_.blurStrength)),
                    items));
    }
    if (in_.blurMode == HighlightMode::text)
      addRecognitionNote();
    add(iconButton("blur-privacy", "lock.fill", tr("Switch to solid Redact for sensitive details"), std::nullopt,
                   act(Act::selectTool, int(MarkTool::redact))));
  }

  void addExtractOptions() {
    QString summary;
    if (in_.selectedWords > 0)
      summary = tr("Selected words: %1").arg(in_.selectedWords);
    else if (in_.recognizing)
      summary = tr("Finding text on this computer…");
    else if (in_.availableWords == 0)
      summary = tr("No text found in this crel");
    else
      summary = tr("Drag across words to select them");
    add(label("extract-summary", "text.viewfinder", summary));
    divider();
    InspectorControl all = control(Kind::textButton, "select-all");
    all.text = tr("Select all");
    all.enabled = in_.availableWords > 0;
    all.action = act(Act::selectAllWords);
    add(all);
    InspectorControl copy = control(Kind::copyButton, "copy-text");
    copy.text = in_.status == RecognizedText::copiedStatus() ? tr("Copied") : tr("Copy text");
    copy.shortcut = ShortcutText::forLinux(QStringLiteral("⌘C"));
    copy.help = tr("Copy the selected words without closing (%1)").arg(*copy.shortcut);
    copy.enabled = in_.selectedWords > 0;
    copy.action = act(Act::copyRecognizedText);
    add(copy);
  }

  void addSelectionActions() {
    divider();
    const double angle = in_.selectedRotation && std::isfinite(*in_.selectedRotation) ? *in_.selectedRotation : 0.0;
    const QString degrees = rounded(angle * 180 / std::numbers::pi);
    InspectorControl rotation = control(Kind::rotationMenu, "rotation-menu");
    rotation.symbol = "rotate.right";
    rotation.symbolSize = 14;
    rotation.help = tr("Rotate selection");
    rotation.shortcut =
        ShortcutText::forLinux(QStringLiteral("⌥←")) % QStringLiteral(" / ") % ShortcutText::forLinux("⌥→");
    rotation.accessibility = tr("Rotate selected annotation");
    rotation.text = tr("%1 degrees").arg(degrees);
    const double pi = std::numbers::pi;
    rotation.menu = {item(tr("Rotate Left 15°"), act(Act::rotate, -pi / 12)),
                     item(tr("Rotate Right 15°"), act(Act::rotate, pi / 12)),
                     separator(),
                     item(tr("Rotate Left 90°"), act(Act::rotate, -pi / 2)),
                     item(tr("Rotate Right 90°"), act(Act::rotate, pi / 2)),
                     separator(),
                     item(tr("Reset Rotation"), act(Act::resetRotation))};
    add(rotation);
    add(iconButton("duplicate", "plus.square.on.square", tr("Duplicate"), ShortcutText::forLinux(QStringLiteral("⌘D")),
                   act(Act::duplicate)));
    add(iconButton("delete", "trash", tr("Delete"), ShortcutText::forLinux(QStringLiteral("⌫")),
                   act(Act::deleteSelection)));
  }

  const InspectorInputs &in_;
  const bool compact_;
  InspectorDescription description_;
  int dividers_ = 0;
};

} // namespace

InspectorFlags inspectorFlags(MarkTool tool) {
  InspectorFlags f;
  switch (tool) {
  case MarkTool::select: f.selectHint = true; break;
  case MarkTool::arrow:
  case MarkTool::line:
  case MarkTool::rectangle:
  case MarkTool::ellipse:
  case MarkTool::triangle:
  case MarkTool::pen:
  case MarkTool::step:
    f.palette = InspectorFlags::Palette::drawing;
    f.weightPresets = true;
    break;
  case MarkTool::text:
    f.palette = InspectorFlags::Palette::drawing;
    f.fontPresets = true;
    break;
  case MarkTool::highlight:
    f.palette = InspectorFlags::Palette::highlight;
    f.highlightModes = f.weightPresets = true;
    break;
  case MarkTool::redact: f.redactModes = true; break;
  case MarkTool::blur: f.blurOptions = true; break;
  case MarkTool::extract: f.extractOptions = true; break;
  }
  return f;
}

InspectorInputs InspectorInputs::from(const CrelDocument &d) {
  InspectorInputs in;
  in.activeTool = d.activeTool();
  in.ink = d.ink();
  in.stroke = d.stroke();
  in.fontSize = d.fontSize();
  in.blurStrength = d.blurStrength();
  in.highlightOpacity = d.highlightOpacity();
  in.highlightMode = d.highlightMode();
  in.redactMode = d.redactMode();
  in.blurMode = d.blurMode();
  in.blurEffect = d.blurEffect();
  in.hasSelection = d.selection().has_value();
  if (const Mark *m = d.selectedMark())
    in.selectedRotation = m->rotation.value_or(0);
  const InspectorFlags flags = inspectorFlags(in.activeTool);
  // Only the text tools read the words; availableText() is recomputed per read.
  if (flags.extractOptions || flags.highlightModes || flags.redactModes || flags.blurOptions)
    in.availableWords = int(d.availableText().words.size());
  in.selectedWords = int(d.selectedWords().size());
  in.recognizing = d.recognizing();
  in.recognitionStatus = d.recognitionStatus();
  in.status = d.status();
  return in;
}

InspectorDescription describeInspector(const InspectorInputs &inputs, bool compact) {
  return Builder(inputs, compact).build();
}

QStringList InspectorDescription::signature() const {
  QStringList s;
  for (const InspectorControl &c : controls)
    s << QString::number(int(c.kind)) % QLatin1Char(':') % c.key;
  return s;
}

const InspectorControl *InspectorDescription::find(const QString &key) const {
  for (const InspectorControl &c : controls)
    if (c.key == key)
      return &c;
  return nullptr;
}

} // namespace crel
