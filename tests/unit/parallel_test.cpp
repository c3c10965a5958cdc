#include "lib/parallel.h"

#include <gtest/gtest.h>

#include <atomic>
#include <new>
#include <ostream>
#include <vector>

namespace {

struct Split {
    int64_t count;
    int32_t parts;
};

std::ostream& operator<<(std::ostream& out, const Split& s)
{
    return out << s.count << " in " << s.parts << " parts";
}

class PartRange : public ::testing::TestWithParam<Split> {};

// The parts follow one another from 0 to the count without a gap or an
// overlap, none more than one item longer than another.
TEST_P(PartRange, CoversEveryItemOnce)
{
    const Split s = GetParam();
    int64_t expected_first = 0;
    for (int32_t part = 0; part < s.parts; ++part) {
        int64_t first = -1;
        int64_t last = -1;
        part_range(s.count, s.parts, part, first, last);
        EXPECT_EQ(first, expected_first) << "part " << part;
        EXPECT_GE(last - first, s.count / s.parts) << "part " << part;
        EXPECT_LE(last - first, s.count / s.parts + 1) << "part " << part;
        expected_first = last;
    }
    EXPECT_EQ(expected_first, s.count);
}

INSTANTIATE_TEST_SUITE_P(Splits, PartRange,
                         ::testing::Values(Split{0, 2}, Split{1, 2}, Split{101, 2}, Split{320, 2},
                                           Split{5120, 2}, Split{7, 3}, Split{5, 1}));

// Part counts as the passes ask for them: the seam sets one whatever the
// processors, within 1..2, and gives back what it replaced.
TEST(ParallelParts, SetCountHoldsWhateverTheProcessors)
{
    const int32_t before = set_parallel_parts(2);
    EXPECT_EQ(parallel_parts(), 2);
    EXPECT_EQ(set_parallel_parts(5), 2);
    EXPECT_EQ(parallel_parts(), 2);
    set_parallel_parts(1);
    EXPECT_EQ(parallel_parts(), 1);
    set_parallel_parts(0);
    EXPECT_GE(parallel_parts(), 1);
    EXPECT_LE(parallel_parts(), 2);
    set_parallel_parts(before);
}

// A part that runs out of memory ends only itself; the others run to their
// end, and the failure reaches the caller once all have returned.
TEST(RunParts, OutOfMemoryInAnyPartReachesTheCaller)
{
    for (int32_t failing : {0, 1, 2}) {
        std::vector<std::atomic<int>> finished(3);
        EXPECT_THROW(run_parts(3,
                               [&](int32_t part) {
                                   if (part == failing) throw std::bad_alloc();
                                   ++finished[static_cast<size_t>(part)];
                               }),
                     std::bad_alloc)
            << "part " << failing;
        for (int32_t part = 0; part < 3; ++part)
            EXPECT_EQ(finished[static_cast<size_t>(part)].load(), part == failing ? 0 : 1)
                << "part " << part << " with part " << failing << " failing";
    }
    std::atomic<int> runs{0};
    EXPECT_NO_THROW(run_parts(2, [&](int32_t) { ++runs; }));
    EXPECT_EQ(runs.load(), 2);
}

}  // namespace
