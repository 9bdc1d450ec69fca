// The editor's chrome at the compact size, its size menu, tools, style control and inline text, ending with one arrow
// drawn.
#include "AcceptanceRun.h"

namespace crel::acceptance {

void editorChrome(RunState &) {}

} // namespace crel::acceptance
