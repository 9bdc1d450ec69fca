#pragma once

#include <functional>
#include <vector>

namespace crel::acceptance {

// Clean-up steps run newest first when the stack is destroyed, also while
// an exception leaves the run; the first step armed runs last.
class CleanupStack {
public:
  CleanupStack() = default;
  ~CleanupStack() { run(); }
  CleanupStack(const CleanupStack &) = delete;
  CleanupStack &operator=(const CleanupStack &) = delete;

  void push(std::function<void()> step) { steps_.push_back(std::move(step)); }
  // A throwing step does not keep the older ones from running.
  void run() noexcept {
    while (!steps_.empty()) {
      const std::function<void()> step = std::move(steps_.back());
      steps_.pop_back();
      try {
        step();
      } catch (...) {
      }
    }
  }

private:
  std::vector<std::function<void()>> steps_;
};

} // namespace crel::acceptance
