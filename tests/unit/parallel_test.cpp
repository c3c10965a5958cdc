#include "lib/parallel.h"

#include <gtest/gtest.h>

#include <ostream>

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

}  // namespace
