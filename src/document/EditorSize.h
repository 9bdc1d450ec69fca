#pragma once

#include "platform/files/RawValue.h"

#include <QSize>

namespace crel {

// Content sizes of new editor windows.
enum class EditorSize { compact, regular, large };

template <> struct RawValues<EditorSize> {
  static constexpr std::array<std::pair<EditorSize, std::string_view>, 3> table{{
      {EditorSize::compact, "compact"},
      {EditorSize::regular, "regular"},
      {EditorSize::large, "large"},
  }};
};

QString label(EditorSize size);
QSize contentSize(EditorSize size);

} // namespace crel
