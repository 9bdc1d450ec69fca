#include "HighlightMode.h"

#include "platform/base/Translate.h"

namespace crel {

QString label(HighlightMode mode) {
  switch (mode) {
  case HighlightMode::text: return tr("Smart text");
  case HighlightMode::marker: return tr("Marker");
  case HighlightMode::area: return tr("Area");
  }
  return {};
}

} // namespace crel
