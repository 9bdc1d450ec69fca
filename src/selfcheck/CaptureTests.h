#pragma once

#include "capture/CaptureCoordinator.h"

namespace crel::CaptureTests {

// The capture flow as the user meets it, on a real coordinator and real
// selection views with fake stills and silent panels: frozen-crop geometry,
// one capture end to end, every way to cancel, two displays and a declined
// permission.
void run();

// The declined-permission checks on a coordinator whose stills come from
// `denying`. Its panel factory must never be called; if it is, the run ends
// with "Permission failure must not create an overlay" once control is back
// here, never from inside the coordinator.
void permissionChecks(CaptureCoordinator::Snapshots denying);

// Stills that never come: the X server refuses every read.
CaptureCoordinator::Snapshots denyingSnapshots();

} // namespace crel::CaptureTests
