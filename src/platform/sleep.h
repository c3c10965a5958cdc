#pragma once

#include <cstdint>

namespace platform {

void sleep_ms(uint32_t milliseconds);

}  // namespace platform
