// How many parts the large passes over an image are split into: one per
// processor, at most two, the most that was measured to pay off.
#pragma once

#include <cstdint>

int32_t parallel_parts();

// For the benchmark, which measures the passes with one part too: at most
// `parts` from now on (at least 1). Gives the limit it replaces.
int32_t limit_parallel_parts(int32_t parts);

// [first, last) of part `part` of `count` items split into `parts` runs of
// about equal length, in order.
void part_range(int64_t count, int32_t parts, int32_t part, int64_t& first, int64_t& last);
