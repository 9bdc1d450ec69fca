// Drawing, editing and saving in the capture's editor.
#include "AcceptanceRun.h"

namespace crel::acceptance {

void drawingEditingSaving(RunState &) {}

} // namespace crel::acceptance
