// The high-resolution counter behind the log's time stamps.
#pragma once

#include <cstdint>

namespace platform {

int64_t counter_value();
int64_t counter_frequency();  // counts per second

}  // namespace platform
