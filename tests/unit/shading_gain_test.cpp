#include "correction/shading_gain.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

struct GainCase {
    float value;
    uint16_t gain;
};

class ShadingGain : public ::testing::TestWithParam<GainCase> {};

TEST_P(ShadingGain, IsTheValueIn12FractionalBitsClamped)
{
    EXPECT_EQ(shading_gain(GetParam().value), GetParam().gain) << GetParam().value;
}

INSTANTIATE_TEST_SUITE_P(Values, ShadingGain,
                         ::testing::Values(GainCase{1.0f, 4096}, GainCase{0.5f, 2048},
                                           GainCase{1.0001f, 4096}, GainCase{0.0f, 0},
                                           GainCase{1.0f / 8192, 0}, GainCase{-0.0001f, 0},
                                           GainCase{-3.0f, 0}, GainCase{65534.0f / 4096, 65534},
                                           GainCase{65535.0f / 4096, 65535}, GainCase{16.0f, 65535},
                                           GainCase{524288.0f, 65535}, GainCase{3.0e38f, 65535},
                                           GainCase{std::numeric_limits<float>::infinity(), 65535},
                                           GainCase{-std::numeric_limits<float>::infinity(), 0},
                                           GainCase{std::numeric_limits<float>::quiet_NaN(), 0}));

// Every gain from the limit up is stored as the largest value, and the
// largest gain below it is not: the limit is where clamping starts.
TEST(ShadingGainLimit, IsWhereTheStoredValueStopsGrowing)
{
    EXPECT_EQ(shading_gain(shading_gain_limit), 65535);
    EXPECT_EQ(shading_gain(shading_gain_limit * 2.0f), 65535);
    const float below = std::nextafter(shading_gain_limit, 0.0f);
    EXPECT_LT(static_cast<float>(shading_gain(below)) / shading_gain_scale, shading_gain_limit);
    EXPECT_EQ(shading_gain(1.0f), shading_gain_scale);
}

}  // namespace
