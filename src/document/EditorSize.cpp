#include "EditorSize.h"

#include "platform/base/Translate.h"

namespace crel {

QString label(EditorSize size) {
  switch (size) {
  case EditorSize::compact: return tr("Compact");
  case EditorSize::regular: return tr("Regular");
  case EditorSize::large: return tr("Large");
  }
  return {};
}

QSize contentSize(EditorSize size) {
  static constexpr int widths[] = {800, 900, 1120};
  static constexpr int heights[] = {460, 600, 780};
  const int i = static_cast<int>(size);
  return {widths[i], heights[i]};
}

} // namespace crel
