#pragma once

#include "platform/files/RawValue.h"

#include <QString>

namespace crel {

// The annotation tools, in the order they are listed everywhere. The raw
// value is the stored form and keys the document's per-tool memory.
enum class MarkTool {
  select,
  arrow,
  line,
  rectangle,
  ellipse,
  triangle,
  pen,
  text,
  highlight,
  blur,
  redact,
  step,
  extract
};

template <> struct RawValues<MarkTool> {
  static constexpr std::array<std::pair<MarkTool, std::string_view>, 13> table{{
      {MarkTool::select, "select"},
      {MarkTool::arrow, "arrow"},
      {MarkTool::line, "line"},
      {MarkTool::rectangle, "rectangle"},
      {MarkTool::ellipse, "ellipse"},
      {MarkTool::triangle, "triangle"},
      {MarkTool::pen, "pen"},
      {MarkTool::text, "text"},
      {MarkTool::highlight, "highlight"},
      {MarkTool::blur, "blur"},
      {MarkTool::redact, "redact"},
      {MarkTool::step, "step"},
      {MarkTool::extract, "extract"},
  }};
};

QString label(MarkTool tool);
// The key that selects the tool: one lower-case character.
QString shortcut(MarkTool tool);
// Name of the symbol image shown for the tool.
QString symbol(MarkTool tool);
// Status-line help shown when the tool is chosen.
QString hint(MarkTool tool);

} // namespace crel
