#pragma once

#include "ForwardedLaunch.h"
#include "SingleInstance.h"

namespace crel {

class AppDelegate;
class CaptureCoordinator;

// What the running instance does with a later launch's request. The
// launch's deadline decides only whether the request is taken: files, once
// taken, are all read and each opens or is named in the alert however long
// that takes, while a capture that would freeze the displays after its
// launch gave up is still taken back.
class ForwardedRequests {
public:
  ForwardedRequests(AppDelegate &delegate, CaptureCoordinator &capture) : delegate_(delegate), capture_(capture) {}

  // On the main thread, once the launch sequence ran.
  void handle(const ForwardedLaunch &request, const SingleInstance::Reply &reply);

private:
  AppDelegate &delegate_;
  CaptureCoordinator &capture_;
};

} // namespace crel
