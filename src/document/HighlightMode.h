#pragma once

#include "platform/files/RawValue.h"

namespace crel {

// How the highlight, redact and blur tools pick their area.
enum class HighlightMode { text, marker, area };

template <> struct RawValues<HighlightMode> {
  static constexpr std::array<std::pair<HighlightMode, std::string_view>, 3> table{{
      {HighlightMode::text, "text"},
      {HighlightMode::marker, "marker"},
      {HighlightMode::area, "area"},
  }};
};

QString label(HighlightMode mode);

} // namespace crel
