#pragma once

#include <algorithm>

#include <sys/resource.h>

namespace crel::DescriptorLimit {

// Sets this process's soft limit on open descriptors to `soft`, or to the
// hard limit when that is lower. Free of Qt, so the helper programs that
// link none set the limit they are handed with it too.
inline void setSoftLimit(rlim_t soft) {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
    return;
  limit.rlim_cur = std::min(soft, limit.rlim_max);
  ::setrlimit(RLIMIT_NOFILE, &limit);
}

} // namespace crel::DescriptorLimit
