#include "DescriptorLimit.h"

#include <sys/resource.h>

namespace crel::DescriptorLimit {

namespace {

// Written once at start, before any thread or child exists; read in children.
rlimit original{};
bool raised = false;

} // namespace

void raise() {
  rlimit limit{};
  if (raised || ::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= limit.rlim_max)
    return;
  const rlimit wanted{limit.rlim_max, limit.rlim_max};
  if (::setrlimit(RLIMIT_NOFILE, &wanted) != 0)
    return;
  original = limit;
  raised = true;
}

void restoreInChild() {
  if (raised)
    ::setrlimit(RLIMIT_NOFILE, &original);
}

} // namespace crel::DescriptorLimit
