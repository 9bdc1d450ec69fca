#pragma once

#include "platform/files/RawValue.h"

#include <QFont>

namespace crel {

// The drawing style of every mark of a document.
enum class AnnotationStyle { formal, doodle };

template <> struct RawValues<AnnotationStyle> {
  static constexpr std::array<std::pair<AnnotationStyle, std::string_view>, 2> table{{
      {AnnotationStyle::formal, "formal"},
      {AnnotationStyle::doodle, "doodle"},
  }};
};

QString label(AnnotationStyle style);
QString description(AnnotationStyle style);

// The font of text marks and step numbers; `size` is in image pixels, laid out
// on a 72-dpi design device so one point is one pixel. Doodle falls back to
// the formal font when the handwriting family is missing.
QFont font(AnnotationStyle style, double size);

} // namespace crel
