#pragma once

#include <QObject>

#include <functional>

namespace crel {

// The key=value reports of --diagnostics and --permission-diagnostics.
namespace Diagnostics {

// Five lines: screen capture and synthetic input allowed, bundle identifier
// (or "none"), login item status and whether the first-run decision is made.
void print();

// Four lines: bundle path, the screen-read preflight, then the displays we
// may capture or the error that refused them. `done` runs after the last
// line, on `receiver`'s thread, whatever the outcome.
void printPermissions(QObject *receiver, std::function<void()> done);

} // namespace Diagnostics

} // namespace crel
