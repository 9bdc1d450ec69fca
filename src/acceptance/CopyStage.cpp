// Copy and close.
#include "AcceptanceRun.h"

namespace crel::acceptance {

void copyAndClose(RunState &) {}

} // namespace crel::acceptance
