#pragma once

#include "app/CommandLine.h"

#include <QString>

namespace crel::SettingsPreview {

// Draws the whole welcome/settings view, its update section included, built
// over the user's real settings (read, never written), once with the light and once with a dark palette, each in a
// borderless window never shown on screen, and writes settings-light.png and
// then settings-dark.png into `folder`. Throws on the first failure; the
// light file stays when the dark one fails.
void render(const QString &folder, const CommandLine &commandLine);

} // namespace crel::SettingsPreview
