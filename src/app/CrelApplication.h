#pragma once

#include <QApplication>

#include <functional>

namespace crel {

// How the application's windows meet the desktop.
enum class ActivationPolicy {
  regular = 0,    // ordinary top-level windows
  accessory = 1,  // tool windows that stay off the taskbar
  prohibited = 2, // nothing reaches the screen; renderers paint off screen
};

// The one application object. Built only after the platform choice, so a
// missing display ends in a FAIL line instead of Qt's abort.
class CrelApplication : public QApplication {
  Q_OBJECT
public:
  CrelApplication(int &argc, char **argv);

  ActivationPolicy activationPolicy() const { return policy_; }
  void setActivationPolicy(ActivationPolicy policy) { policy_ = policy; }

  static CrelApplication *instance() { return qobject_cast<CrelApplication *>(QCoreApplication::instance()); }

  // What a logout, `kill` or Ctrl+C in the terminal runs: the ordinary run's
  // quit rule once it is set, else a plain quit (the headless modes).
  void setQuitRoad(std::function<void()> road) { quitRoad_ = std::move(road); }

private:
  std::function<void()> quitRoad_;
  ActivationPolicy policy_ = ActivationPolicy::regular;
};

} // namespace crel
