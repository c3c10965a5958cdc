#include "lib/image_sum.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <ostream>
#include <vector>

namespace {

const float inf = std::numeric_limits<float>::infinity();
const float nan = std::numeric_limits<float>::quiet_NaN();

// A sum of `count` images whose values repeat `pattern`, with `odd_one` at
// `odd_index` when it is set.
struct SumCase {
    const char* name;
    int32_t width;
    int32_t height;
    int32_t count;
    std::vector<float> pattern;
    int32_t odd_index = -1;
    float odd_one = 0.0f;
};

std::ostream& operator<<(std::ostream& out, const SumCase& c) { return out << c.name; }

std::unique_ptr<FloatMap> sum_of(const SumCase& c)
{
    std::unique_ptr<FloatMap> sum(new FloatMap(c.width, c.height));
    for (int32_t i = 0; i < sum->count(); ++i)
        sum->data()[i] = c.pattern[static_cast<size_t>(i) % c.pattern.size()];
    if (c.odd_index >= 0) sum->data()[c.odd_index] = c.odd_one;
    return sum;
}

// The map as the mean was made before: scaled in place, then converted.
std::unique_ptr<FloatMap> scaled_reference(const SumCase& c)
{
    std::unique_ptr<FloatMap> reference = sum_of(c);
    reference->scale(1.0f / static_cast<float>(c.count));
    return reference;
}

bool same_bits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

void expect_same_image(const ImageBW& image, const ImageBW& expected)
{
    ASSERT_EQ(image.width(), expected.width());
    ASSERT_EQ(image.height(), expected.height());
    for (uint32_t i = 0; i < image.width() * image.height(); ++i)
        ASSERT_EQ(image.data()[i], expected.data()[i]) << "pixel " << i;
}

class MeanImageTest : public ::testing::TestWithParam<SumCase> {};

// Whatever order the mean image does its work in, every value, byte and the
// mean are those of the scaled map.
TEST_P(MeanImageTest, GivesWhatTheScaledMapGives)
{
    const SumCase& c = GetParam();
    const std::unique_ptr<FloatMap> reference = scaled_reference(c);
    const std::unique_ptr<ImageBW> reference_grey = reference->to_image();
    const MeanImage mean(ImageSum{sum_of(c), c.count});

    expect_same_image(*mean.grey(), *reference_grey);
    EXPECT_TRUE(same_bits(mean.mean(), reference->mean())) << mean.mean();
    for (int32_t y = -1; y <= c.height; ++y)
        for (int32_t x = -1; x <= c.width; ++x)
            ASSERT_TRUE(same_bits(mean.value(x, y), reference->get(x, y))) << x << ", " << y;
    const size_t runs = static_cast<size_t>(c.width + 15) / 16;
    for (int32_t y = 0; y < c.height; ++y) {
        std::vector<uint32_t> sums(runs, 7u);
        std::vector<uint32_t> expected(runs, 7u);
        mean.add_grey_line_sums_of_16(y, sums.data());
        for (int32_t x = 0; x < c.width; ++x)
            expected[static_cast<size_t>(x) / 16] += reference_grey->data()[c.width * y + x];
        ASSERT_EQ(sums, expected) << "line " << y;
    }

    // Once M's total is known, a second 8-bit image and the mean still agree.
    expect_same_image(*mean.grey(), *reference_grey);
    EXPECT_TRUE(same_bits(mean.mean(), reference->mean()));
}

// The mean asked for first, before any 8-bit image: the ordered sum.
TEST_P(MeanImageTest, MeanAloneIsTheOrderedSum)
{
    const SumCase& c = GetParam();
    const MeanImage mean(ImageSum{sum_of(c), c.count});
    EXPECT_TRUE(same_bits(mean.mean(), scaled_reference(c)->mean()));
}

// Whole sums of 0..4080 in steps of 17, as 16 8-bit frames give them.
std::vector<float> frame_sums()
{
    std::vector<float> sums;
    for (int s = 0; s <= 4080; s += 17) sums.push_back(static_cast<float>(s));
    return sums;
}

INSTANTIATE_TEST_SUITE_P(
    Sums, MeanImageTest,
    ::testing::Values(
        // A power-of-two count and whole sums: the total found in the pass
        // over the bytes.
        SumCase{"SixteenFrames", 37, 5, 16, frame_sums()},
        SumCase{"SixteenFramesOverManyPieces", 331, 127, 16, frame_sums()},
        // Other counts: the ordered sum. The sizes are multiples of 4, so
        // these values meet the vector loop.
        SumCase{"ThreeFrames", 20, 3, 3, {1.0f, 2.0f, 4.0f, 5.0f, 7.0f}},
        // One sum of 2^-16 in the last piece spoils the total found so far.
        SumCase{"OneFractionLate", 332, 127, 16, {0.0f}, 332 * 127 - 8, 1.0f / 65536},
        // Whole sums beyond 2^24 (here up to 2^30, which would overflow the
        // vector lanes): the ordered sum.
        SumCase{"LargeWholeSums", 32, 2, 1, {1073741824.0f, 3.0f, 16777218.0f, 1e7f}},
        SumCase{"AtTheLimit", 32, 2, 1, {16777216.0f, -16777216.0f, 255.0f}},
        SumCase{"Edges",
                19,
                3,
                2,
                {nan, -1.0f, -0.0f, 511.8f, 512.0f, 1e30f, inf, -inf, 0.5f, 1.0f, 509.99f}},
        SumCase{"InfinityOnly", 17, 1, 4, {inf}},
        SumCase{"WholeValuesOutsideTheBytes",
                21,
                2,
                8,
                {-8.0f, -2040.0f, 16.0f, 0.0f, 100000.0f, 16777216.0f, 2041.0f, -0.0f}},
        SumCase{"OnePixel", 1, 1, 16, {4000.0f}}),
    [](const ::testing::TestParamInfo<SumCase>& info) { return info.param.name; });

}  // namespace
