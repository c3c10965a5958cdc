// Work done by more than one thread at once.
#pragma once

#include <cstdint>
#include <functional>

namespace platform {

// The processors the program may run on, at least 1.
int32_t processor_count();

// Runs part(0) ... part(count - 1) at the same time and returns when all
// have returned: part 0 on the calling thread, each other part on a thread of
// its own. A part that gets no thread runs on the calling thread after the
// others have started. `part` must not throw.
void run_parts(int32_t count, const std::function<void(int32_t part)>& part);

}  // namespace platform
