#include "FreedMemory.h"

// Before the test below: a libc header is what defines __GLIBC__.
#include <atomic>
#include <cstdlib>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace crel::FreedMemory {

namespace {
std::atomic<int> holders{0};
} // namespace

void giveBack() {
#if defined(__GLIBC__)
  malloc_trim(0);
#endif
}

void hold() { holders.fetch_add(1, std::memory_order_relaxed); }

void release() {
  if (holders.fetch_sub(1, std::memory_order_acq_rel) == 1)
    giveBack();
}

} // namespace crel::FreedMemory
