#include "lib/parallel.h"

#include <algorithm>

#include "platform/workers.h"

namespace {

constexpr int32_t most_parts = 2;
int32_t part_limit = most_parts;

}  // namespace

int32_t parallel_parts() { return std::max(1, std::min(part_limit, platform::processor_count())); }

void limit_parallel_parts(int32_t parts) { part_limit = std::max(1, std::min(parts, most_parts)); }

void part_range(int64_t count, int32_t parts, int32_t part, int64_t step, int64_t& first,
                int64_t& last)
{
    const int64_t steps = (count + step - 1) / step;
    first = std::min(count, steps * part / parts * step);
    last = std::min(count, steps * (part + 1) / parts * step);
}
