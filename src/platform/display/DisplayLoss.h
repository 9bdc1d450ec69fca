#pragma once

#include <functional>

namespace crel {

// The display can go at any moment (its server ends, the session's
// connection drops). Qt's X11 plugin then ends the process as soon as it
// notices (exit status 1), without the quit road and without unwinding, so
// what must outlive the display is done here first, at the first sign of the
// loss: one of our own connections to the server, or Qt's report of its own.
namespace DisplayLoss {

// `work` runs once, on the main thread, when the loss is first noticed;
// an empty one clears it.
void setHandler(std::function<void()> work);
// `work` runs once, on the main thread, just before Qt ends the process for
// the loss, after the handler's: the run's last work (the instance let go,
// pastes in flight waited for). An empty one clears it.
void setEnding(std::function<void()> work);
// A connection of ours to the application's display server found it gone.
void report();

} // namespace DisplayLoss

} // namespace crel
