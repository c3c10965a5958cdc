#include "platform/counter.h"

#include <time.h>

namespace platform {

int64_t counter_value()
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

int64_t counter_frequency() { return 1000000000; }

}  // namespace platform
