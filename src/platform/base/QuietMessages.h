#pragma once

namespace crel {

// Keeps Qt's own log off the standard streams, which in the command-line
// modes carry only their contracted lines; a fatal message, which aborts,
// still shows. Call before the application object exists.
void quietQtMessages();

} // namespace crel
