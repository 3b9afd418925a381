#include "recording/memory_release.h"

#include <cstdlib>  // defines __GLIBC__ on the GNU C library

#if defined(__GLIBC__)
#include <malloc.h>
#endif

void releaseFreeMemory() {
#if defined(__GLIBC__)
    // Returns whole free pages inside the heap too, not only the top of it.
    malloc_trim(0);
#endif
}
