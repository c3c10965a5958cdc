// How the large passes over an image are split into parts that run at the
// same time, and how a part's failure reaches the caller.
#pragma once

#include <cstdint>
#include <functional>

// How many parts the large passes are split into: one per processor, at most
// two, the most that was measured to pay off.
int32_t parallel_parts();

// From now on exactly `parts` parts (1 or 2), however many processors there
// are, so that tests of the two-part paths run on any machine and the
// benchmark can measure one part; 0 goes back to one per processor. Gives the
// setting it replaces.
int32_t set_parallel_parts(int32_t parts);

// [first, last) of part `part` of `count` items split into `parts` runs of
// about equal length, in order.
void part_range(int64_t count, int32_t parts, int32_t part, int64_t& first, int64_t& last);

// Runs part(0) ... part(count - 1) at the same time, part 0 on the calling
// thread, and returns when all have returned. A part may throw
// std::bad_alloc and nothing else: it ends that part only, and is thrown again
// here once every part has returned, so no thread is left running.
void run_parts(int32_t count, const std::function<void(int32_t part)>& part);
