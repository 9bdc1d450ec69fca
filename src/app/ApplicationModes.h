#pragma once

#include "AppLaunch.h"

namespace crel {

// The application's entry for every launch mode. Modes of parts not built
// yet end with one FAIL line saying so.
const ModeTable &applicationModes();

// The real application: login item, test hooks, run loop. Returns when it quits.
int runApplication(LaunchContext &context);

} // namespace crel
