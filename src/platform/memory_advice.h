// Hints to the system about how the program uses large blocks of memory.
#pragma once

#include <cstddef>

namespace platform {

// The block is large and will be filled whole: the system may back it with
// large pages, which spares a page fault per 4 KiB on first touch. Only a
// hint; does nothing where the system offers no such hint.
void advise_large_block(void* start, size_t size);

}  // namespace platform
