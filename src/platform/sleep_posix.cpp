#include "platform/sleep.h"

#include <errno.h>
#include <time.h>

namespace platform {

void sleep_ms(uint32_t milliseconds)
{
    struct timespec wanted;
    wanted.tv_sec = milliseconds / 1000;
    wanted.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
    while (nanosleep(&wanted, &wanted) != 0 && errno == EINTR) {
    }
}

}  // namespace platform
