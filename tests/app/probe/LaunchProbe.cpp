#include "app/AppLaunch.h"

#include <cstdio>
#include <stdexcept>

// The real launch with every mode replaced by a line naming it (and, for the
// application, the test hooks it would schedule). A path ending in "/throw"
// makes the mode fail after its line.
int main(int argc, char **argv) {
  using namespace crel;
  ModeTable modes;
  for (int row = 1; row <= static_cast<int>(LaunchMode::application); ++row) {
    const auto mode = static_cast<LaunchMode>(row);
    modes[mode] = [row, mode](LaunchContext &context) {
      const LaunchChoice &choice = context.choice();
      std::printf("MODE %d %s\n", row, qPrintable(choice.path));
      if (mode == LaunchMode::application)
        for (const TestHook &hook : testHooks(context.commandLine()))
          std::printf("HOOK %d %s\n", static_cast<int>(hook.kind), qPrintable(hook.values.join(u' ')));
      std::fflush(stdout);
      if (choice.path.endsWith(QLatin1String("/throw")))
        throw std::runtime_error("probe mode failed");
      return 0;
    };
  }
  return launch(argc, argv, modes);
}
