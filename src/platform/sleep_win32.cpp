#include "platform/sleep.h"

#include <windows.h>

namespace platform {

void sleep_ms(uint32_t milliseconds) { Sleep(milliseconds); }

}  // namespace platform
