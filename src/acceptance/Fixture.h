#pragma once

#include <QRect>

namespace crel::acceptance {

// The rectangle the acceptance run captures from the fixture: 400 by 260
// logical pixels centred on the primary screen's geometry. The run and the
// fixture compute it independently, so it depends on nothing else.
QRect captureRect(const QRect &primaryScreenGeometry);
// The same for this process's primary screen; there must be one.
QRect captureRect();

// Fixture mode: shows the titled window "Crel acceptance fixture" (or the
// title in CREL_ACCEPTANCE_FIXTURE_TITLE, for the refusal test) (content
// 60 points around the capture rectangle, fixed size) and the shield (50
// points around it, above managed windows, transparent to input), both
// filled with the fixture green, then runs the event loop.
//
// When standard input is a pipe it is the controller's line protocol:
// "hide" -> HIDDEN, "unhide" -> SHOWN, "activate" -> ACTIVE, "quit" or end
// of file -> exit 0. "READY <pid> <titled> <shield>" is printed once both
// windows are exposed. It then also serves the session's file manager
// (FileManagerStub). Returns the process status.
int runFixture();

} // namespace crel::acceptance
