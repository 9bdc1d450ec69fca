#include "TestSupport.h"

namespace crel::test {

TemporarySettings::TemporarySettings() : store_(std::make_unique<SettingsStore>(dir_.filePath("settings.ini"))) {}

} // namespace crel::test
