#include "platform/memory_advice.h"

namespace platform {

// Large pages on Windows need a privilege that users rarely hold; the
// ordinary allocation stays as it is.
void advise_large_block(void*, size_t) {}

}  // namespace platform
