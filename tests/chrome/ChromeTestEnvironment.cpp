#include "chrome/LightPalette.h"
#include "chrome/Motion.h"

#include <QApplication>

#include <gtest/gtest.h>

namespace {

// Every chrome suite runs light, in the chrome font, with animations landing
// at once.
class ChromeEnvironment : public ::testing::Environment {
public:
  void SetUp() override {
    crel::LightPalette::install(*qApp);
    crel::Motion::setEnabled(false);
  }
};

const auto *environment = ::testing::AddGlobalTestEnvironment(new ChromeEnvironment);

} // namespace
