#include "FreedMemory.h"

// Before the test below: a libc header is what defines __GLIBC__.
#include <cstdlib>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace crel::FreedMemory {

void giveBack() {
#if defined(__GLIBC__)
  malloc_trim(0);
#endif
}

} // namespace crel::FreedMemory
