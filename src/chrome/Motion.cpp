#include "Motion.h"

namespace crel::Motion {

namespace {
bool motionEnabled = true;
}

bool enabled() { return motionEnabled; }
void setEnabled(bool enabled) { motionEnabled = enabled; }

} // namespace crel::Motion
