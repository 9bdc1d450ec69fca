#pragma once

#include <QDir>

namespace crel::NativeTests::LaunchAtLoginTests {

// Launch at login against a scripted login item service: who may register,
// the first-launch decision, the user's and the desktop's choices, failures;
// then the login launch marker and the brand colour.
void run(const QDir &root);

} // namespace crel::NativeTests::LaunchAtLoginTests
