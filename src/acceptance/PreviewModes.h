#pragma once

#include "app/AppLaunch.h"

namespace crel::PreviewModes {

// The renderer modes, for main's mode table: each writes its files and
// answers 0, or throws and the launch turns the error into the FAIL line.
int renderStyles(LaunchContext &context);
int exportArrowSvg(LaunchContext &context);
int renderEditor(LaunchContext &context);
int captureEditorLive(LaunchContext &context);
int renderSettings(LaunchContext &context);

} // namespace crel::PreviewModes
