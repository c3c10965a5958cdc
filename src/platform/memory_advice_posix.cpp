#include "platform/memory_advice.h"

#include <stdint.h>
#include <sys/mman.h>

namespace platform {

void advise_large_block(void* start, size_t size)
{
#ifdef MADV_HUGEPAGE
    // Only whole 2 MiB pages inside the block can become large pages.
    const uintptr_t large_page = uintptr_t(1) << 21;
    const uintptr_t begin =
        (reinterpret_cast<uintptr_t>(start) + large_page - 1) & ~(large_page - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(start) + size) & ~(large_page - 1);
    if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
    (void)start;
    (void)size;
#endif
}

}  // namespace platform
