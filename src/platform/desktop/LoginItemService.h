#pragma once

#include <QString>

#include <optional>

namespace crel {

// The login item's state as the launch-at-login logic sees it; raw values
// are the ones --diagnostics prints.
enum class LoginItemStatus { notRegistered = 0, enabled = 1, requiresApproval = 2, notFound = 3 };

// The desktop's record of starting the application at login. Requests throw
// FileError with a complete sentence.
class LoginItemService {
public:
  virtual ~LoginItemService() = default;
  virtual LoginItemStatus status() const = 0;
  virtual void registerItem() = 0;
  virtual void unregisterItem() = 0;
  // Shows where the user manages startup applications.
  virtual void openSettings() = 0;
};

// Scripted states and failures, counting requests; for tests and self-checks.
class FakeLoginItemService final : public LoginItemService {
public:
  LoginItemStatus status() const override { return currentStatus; }
  void registerItem() override { request(++registerCount); }
  void unregisterItem() override { request(++unregisterCount); }
  void openSettings() override { ++openSettingsCount; }

  LoginItemStatus currentStatus = LoginItemStatus::notRegistered;
  // The status a request leaves behind (unchanged when absent), also when it throws.
  std::optional<LoginItemStatus> statusAfterRequest;
  // A request throws a FileError with this sentence when it is not empty.
  QString failure;
  int registerCount = 0;
  int unregisterCount = 0;
  int openSettingsCount = 0;

private:
  void request(int);
};

} // namespace crel
