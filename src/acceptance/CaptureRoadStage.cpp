// The capture road: the fixture verified, the real hot key, a drag over the frozen display, the editor and its saved
// PNG.
#include "AcceptanceRun.h"

namespace crel::acceptance {

void captureRoad(RunState &) {}

} // namespace crel::acceptance
