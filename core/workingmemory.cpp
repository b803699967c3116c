#include "core/workingmemory.h"

#include <cstdlib> // defines __GLIBC__ where the C library is glibc

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace tolvane {

void keepWorkingMemory()
{
#if defined(__GLIBC__)
    // Setting either of these turns off the allocator's own growing threshold, so both are set.
    mallopt(M_MMAP_THRESHOLD, 8 << 20);
    mallopt(M_TRIM_THRESHOLD, 64 << 20);
#endif
}

} // namespace tolvane
