#include "SurfaceVariant.h"

#include "ChromeColors.h"

namespace crel {

SurfaceVariant chooseSurfaceVariant(bool reduceTransparency, bool previewRendering) {
  return reduceTransparency || previewRendering ? SurfaceVariant::opaque : SurfaceVariant::material;
}

SurfaceLook surfaceLook(SurfaceVariant variant, bool reduceTransparency) {
  using namespace ChromeColors;
  switch (variant) {
  case SurfaceVariant::opaque:
    return {white(reduceTransparency ? 1.0 : 0.86),
            {{black(0.09), 0.5}},
            SurfaceShadow{black(reduceTransparency ? 0.0 : 0.07), 10, {0, 3}}};
  case SurfaceVariant::material: break;
  }
  // The material is a blur of what lies behind; without a blur, a nearly
  // opaque white, so a zoomed screenshot's text cannot run through the
  // controls (what shows through stays within 8 levels of plain white).
  return {white(0.97), {{white(0.75), 0.75}, {black(0.09), 0.5}}, SurfaceShadow{black(0.08), 12, {0, 4}}};
}

} // namespace crel
