#include "lib/zero_skip.h"

#include <gtest/gtest.h>

#include <ostream>
#include <vector>

namespace {

struct SkipCase {
    size_t length;
    size_t from;
    std::vector<size_t> marked;  // the non-zero bytes
};

std::ostream& operator<<(std::ostream& out, const SkipCase& c)
{
    out << "length " << c.length << " from " << c.from << " marked";
    for (size_t x : c.marked) out << ' ' << x;
    return out;
}

class NextNonzero : public ::testing::TestWithParam<SkipCase> {};

// Walks from each starting point to the end as a mask's readers do, and must
// stop at exactly the marked bytes at or after it: inside and at the edges of
// the 32-byte steps, in the tail after the last whole step, and none at all.
TEST_P(NextNonzero, StopsAtEachMarkedByteInTurn)
{
    const SkipCase c = GetParam();
    std::vector<uint8_t> bytes(c.length, 0);
    for (size_t x : c.marked) bytes[x] = static_cast<uint8_t>(x % 255 + 1);
    std::vector<size_t> expected;
    for (size_t x : c.marked)
        if (x >= c.from) expected.push_back(x);
    std::vector<size_t> found;
    for (size_t x = next_nonzero(bytes.data(), c.from, c.length); x < c.length;
         x = next_nonzero(bytes.data(), x + 1, c.length))
        found.push_back(x);
    EXPECT_EQ(found, expected);
    EXPECT_EQ(next_nonzero(bytes.data(), c.length, c.length), c.length);
}

INSTANTIATE_TEST_SUITE_P(Masks, NextNonzero,
                         ::testing::Values(SkipCase{0, 0, {}}, SkipCase{1, 0, {0}},
                                           SkipCase{31, 0, {30}}, SkipCase{32, 0, {31}},
                                           SkipCase{33, 0, {32}}, SkipCase{64, 0, {}},
                                           SkipCase{100, 0, {0, 31, 32, 63, 64, 95, 96, 99}},
                                           SkipCase{100, 5, {3, 37, 70}},
                                           SkipCase{100, 33, {32, 33, 97}},
                                           SkipCase{1000, 0, {999}}, SkipCase{1000, 1, {0, 500}}));

}  // namespace
