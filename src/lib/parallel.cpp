#include "lib/parallel.h"

#include <algorithm>
#include <atomic>
#include <new>

#include "platform/workers.h"

namespace {

constexpr int32_t most_parts = 2;
// 0: one part per processor.
int32_t set_parts = 0;

}  // namespace

int32_t parallel_parts()
{
    if (set_parts > 0) return set_parts;
    return std::max(1, std::min(most_parts, platform::processor_count()));
}

int32_t set_parallel_parts(int32_t parts)
{
    const int32_t replaced = set_parts;
    set_parts = parts <= 0 ? 0 : std::min(parts, most_parts);
    return replaced;
}

void part_range(int64_t count, int32_t parts, int32_t part, int64_t& first, int64_t& last)
{
    first = count * part / parts;
    last = count * (part + 1) / parts;
}

void run_parts(int32_t count, const std::function<void(int32_t part)>& part)
{
    std::atomic<bool> out_of_memory{false};
    platform::run_parts(count, [&](int32_t index) {
        try {
            part(index);
        } catch (const std::bad_alloc&) {
            out_of_memory = true;
        }
    });
    if (out_of_memory) throw std::bad_alloc();
}
