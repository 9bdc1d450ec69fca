#include "Motion.h"

#include <cmath>

namespace crel::Motion {

namespace {
bool motionEnabled = true;
}

bool enabled() { return motionEnabled; }
void setEnabled(bool enabled) { motionEnabled = enabled; }

double spring(double seconds, double response, double damping) {
  const double omega = 2 * M_PI / response;
  const double decay = damping * omega, damped = omega * std::sqrt(1 - damping * damping);
  return 1 - std::exp(-decay * seconds) * (std::cos(damped * seconds) + decay / damped * std::sin(damped * seconds));
}

double springSettleSeconds(double response, double damping) {
  return std::log(1000.0) / (damping * 2 * M_PI / response);
}

} // namespace crel::Motion
