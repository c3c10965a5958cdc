#include "lib/parallel.h"

#include <algorithm>

#include "platform/workers.h"

namespace {

constexpr int32_t most_parts = 2;
int32_t part_limit = most_parts;

}  // namespace

int32_t parallel_parts() { return std::max(1, std::min(part_limit, platform::processor_count())); }

int32_t limit_parallel_parts(int32_t parts)
{
    const int32_t replaced = part_limit;
    part_limit = std::max(1, std::min(parts, most_parts));
    return replaced;
}

void part_range(int64_t count, int32_t parts, int32_t part, int64_t& first, int64_t& last)
{
    first = count * part / parts;
    last = count * (part + 1) / parts;
}
