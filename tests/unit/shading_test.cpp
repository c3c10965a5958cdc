#include "correction/shading.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <limits>
#include <random>
#include <vector>

#include "bmp_files.h"
#include "lib/bmp.h"
#include "lib/image_sum.h"
#include "parts_set.h"

namespace {

std::unique_ptr<ImageBW> filled_image(int32_t width, int32_t height, uint8_t value)
{
    std::unique_ptr<ImageBW> image(new ImageBW(width, height));
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) image->set_pixel(x, y, value);
    return image;
}

void fill_block(ImageBW& image, int32_t i, int32_t j, uint8_t value)
{
    for (int32_t y = 16 * j; y < 16 * j + 16; ++y)
        for (int32_t x = 16 * i; x < 16 * i + 16; ++x) image.set_pixel(x, y, value);
}

struct Size {
    int32_t width;
    int32_t height;
};

class BlockMeansTest : public ::testing::TestWithParam<Size> {};

// The one-pass means must agree with block-by-block averaging exactly.
TEST_P(BlockMeansTest, AgreesWithBlockByBlockMeans)
{
    const Size size = GetParam();
    std::mt19937 random(static_cast<uint32_t>(size.width * 1000 + size.height));
    ImageBW image(size.width, size.height);
    for (uint32_t k = 0; k < image.width() * image.height(); ++k)
        image.data()[k] = static_cast<uint8_t>(random());

    const std::unique_ptr<FloatMap> means = block_means(image);
    ASSERT_EQ(means->width(), (size.width + 15) / 16);
    ASSERT_EQ(means->height(), (size.height + 15) / 16);
    for (int32_t j = 0; j < means->height(); ++j)
        for (int32_t i = 0; i < means->width(); ++i)
            ASSERT_EQ(means->get(i, j), static_cast<float>(block_mean(image, i, j)))
                << "block " << i << ", " << j;
}

INSTANTIATE_TEST_SUITE_P(Sizes, BlockMeansTest,
                         ::testing::Values(Size{1, 1}, Size{15, 15}, Size{16, 16}, Size{17, 33},
                                           Size{40, 7}, Size{100, 70}, Size{33, 1}));

struct GainCase {
    std::vector<uint8_t> block_values;  // 2 x 2 blocks, row by row
    std::vector<float> gains;
};

class ShadingGainsTest : public ::testing::TestWithParam<GainCase> {};

TEST_P(ShadingGainsTest, LiftsEveryBlockToTheBrightest)
{
    ImageBW image(32, 32);
    for (int32_t k = 0; k < 4; ++k) fill_block(image, k % 2, k / 2, GetParam().block_values[k]);

    const std::unique_ptr<FloatMap> gains = shading_gains(image);
    ASSERT_EQ(gains->width(), 2);
    ASSERT_EQ(gains->height(), 2);
    for (int32_t k = 0; k < 4; ++k)
        EXPECT_EQ(gains->data()[k], GetParam().gains[k]) << "block " << k;
}

INSTANTIATE_TEST_SUITE_P(Blocks, ShadingGainsTest,
                         ::testing::Values(GainCase{{200, 100, 50, 25}, {1.0f, 2.0f, 4.0f, 8.0f}},
                                           // A black block gets the brightest mean as its gain.
                                           GainCase{{200, 100, 0, 50}, {1.0f, 2.0f, 200.0f, 4.0f}},
                                           // All black: nothing to lift to, every gain 0.
                                           GainCase{{0, 0, 0, 0}, {0.0f, 0.0f, 0.0f, 0.0f}},
                                           GainCase{{7, 7, 7, 7}, {1.0f, 1.0f, 1.0f, 1.0f}},
                                           GainCase{{3, 255, 1, 17},
                                                    {85.0f, 1.0f, 255.0f, 15.0f}}));

struct PixelCase {
    uint8_t pixel;
    float gain;
    uint8_t expected;
};

class ApplyGainTest : public ::testing::TestWithParam<PixelCase> {};

// 19 pixels a line: 16 of them go through the vector loop, 3 through the
// plain one.
TEST_P(ApplyGainTest, TruncatesAndClamps)
{
    FloatMap gains(2, 1);
    gains.set(0, 0, GetParam().gain);
    gains.set(1, 0, GetParam().gain);
    const std::unique_ptr<ImageBW> owned = filled_image(19, 2, GetParam().pixel);
    ImageBW& image = *owned;
    apply_gains(gains, image);
    for (uint32_t k = 0; k < 38; ++k) EXPECT_EQ(image.data()[k], GetParam().expected) << k;
}

const float inf = std::numeric_limits<float>::infinity();

INSTANTIATE_TEST_SUITE_P(
    Pixels, ApplyGainTest,
    ::testing::Values(PixelCase{10, 1.26f, 12}, PixelCase{200, 1.5f, 255}, PixelCase{100, 0.0f, 0},
                      PixelCase{255, 1.0f, 255}, PixelCase{3, 0.3f, 0}, PixelCase{7, 0.99f, 6},
                      PixelCase{100, -1.0f, 0}, PixelCase{100, 1e30f, 255}, PixelCase{1, inf, 255},
                      PixelCase{0, inf, 0}, PixelCase{5, -inf, 0},
                      PixelCase{50, std::numeric_limits<float>::quiet_NaN(), 0}));

TEST(ApplyGains, PixelsBeyondTheMapBecomeBlack)
{
    FloatMap gains(2, 2);
    gains.set(0, 0, 1.0f);
    gains.set(1, 0, 2.0f);
    gains.set(0, 1, 1.5f);
    gains.set(1, 1, 0.5f);
    const std::unique_ptr<ImageBW> owned = filled_image(40, 40, 100);
    ImageBW& image = *owned;
    apply_gains(gains, image);

    EXPECT_EQ(image.get_pixel(15, 15), 100);
    EXPECT_EQ(image.get_pixel(16, 0), 200);
    EXPECT_EQ(image.get_pixel(31, 0), 200);
    EXPECT_EQ(image.get_pixel(0, 16), 150);
    EXPECT_EQ(image.get_pixel(31, 31), 50);
    for (int32_t y = 0; y < 40; ++y)
        for (int32_t x = 32; x < 40; ++x) ASSERT_EQ(image.get_pixel(x, y), 0) << x << ", " << y;
    for (int32_t x = 0; x < 32; ++x) ASSERT_EQ(image.get_pixel(x, 32), 0) << x;
}

// The file is corrected a piece of lines at a time; its bytes must be those
// of the whole image loaded, corrected and saved.
TEST(ApplyShadingMap, FileToFileAsLoadApplyAndSave)
{
    // 2 x 3 blocks (32 x 48 pixels) for a 37 x 45 frame: the map ends before
    // the frame's right edge and beyond its bottom; edge gains on the way.
    FloatMap gains(2, 3);
    const float values[] = {1.26f, std::numeric_limits<float>::quiet_NaN(), 0.99f, -1.0f,
                            3.0f,  std::numeric_limits<float>::infinity()};
    for (int32_t k = 0; k < 6; ++k) gains.data()[k] = values[k];
    for (uint16_t bits : {8, 24}) {
        const int32_t width = 37;
        const int32_t height = 45;
        const uint32_t bytes_per_pixel = bits / 8u;
        test_files::write_file(
            "shading_in.bmp",
            test_files::bmp_bytes(width, height, bits,
                                  test_files::counting_bytes(width * height * bytes_per_pixel, 7)));
        const std::unique_ptr<ImageBW> expected = load_bmp_bw("shading_in.bmp");
        ASSERT_TRUE(expected);
        apply_gains(gains, *expected);
        ASSERT_TRUE(save_bmp(*expected, "shading_expected.bmp"));

        testing::internal::CaptureStdout();
        EXPECT_TRUE(apply_shading_map(&gains, "shading_in.bmp", "shading_out.bmp"));
        EXPECT_EQ(testing::internal::GetCapturedStdout(),
                  "apply_shading_map('shading_in.bmp', 'shading_out.bmp')\n");
        EXPECT_EQ(test_files::read_file("shading_out.bmp"),
                  test_files::read_file("shading_expected.bmp"))
            << bits << " bits";
    }
    for (const char* name : {"shading_in.bmp", "shading_expected.bmp", "shading_out.bmp"})
        std::remove(name);
}

// A sum of two images: block 0 holds 10 + 13 (mean 11.5, truncated to 11),
// block 1 holds 2 x 200.
std::unique_ptr<FloatMap> two_image_sum()
{
    std::unique_ptr<FloatMap> sum(new FloatMap(32, 16));
    for (int32_t y = 0; y < 16; ++y)
        for (int32_t x = 0; x < 32; ++x) sum->set(x, y, x < 16 ? 23.0f : 400.0f);
    return sum;
}

TEST(CreateShadingMap, GainsComeFromTheTruncatedAverage)
{
    const MeanImage mean(ImageSum{two_image_sum(), 2});
    const std::unique_ptr<FloatMap> shading_map = create_shading_map(&mean);

    ASSERT_TRUE(shading_map);
    EXPECT_EQ(shading_map->width(), 2);
    EXPECT_EQ(shading_map->height(), 1);
    EXPECT_EQ(shading_map->get(0, 0), 200.0f / 11.0f);
    EXPECT_EQ(shading_map->get(1, 0), 1.0f);
}

// The block rows split into two parts give the map one part gives, also
// where the parts meet inside a block row's lines or hold no row at all.
TEST(CreateShadingMap, TwoPartsGiveTheMapOfOne)
{
    for (const Size size : {Size{100, 75}, Size{40, 16}, Size{17, 1}}) {
        std::mt19937 random(static_cast<uint32_t>(size.width + size.height));
        auto random_sum = [&] {
            std::unique_ptr<FloatMap> sum(new FloatMap(size.width, size.height));
            for (int32_t i = 0; i < sum->count(); ++i)
                sum->data()[i] = static_cast<float>(random() % 1021);
            return sum;
        };
        const std::unique_ptr<FloatMap> sum = random_sum();
        std::unique_ptr<FloatMap> maps[2];
        for (int32_t parts : {1, 2}) {
            const PartsSet set(parts);
            std::unique_ptr<FloatMap> copy(new FloatMap(size.width, size.height));
            std::copy(sum->data(), sum->data() + sum->count(), copy->data());
            const MeanImage mean(ImageSum{std::move(copy), 4});
            testing::internal::CaptureStdout();
            maps[parts - 1] = create_shading_map(&mean);
            testing::internal::GetCapturedStdout();
            ASSERT_TRUE(maps[parts - 1]);
        }
        ASSERT_EQ(maps[0]->count(), maps[1]->count());
        for (int32_t i = 0; i < maps[0]->count(); ++i)
            ASSERT_EQ(maps[0]->data()[i], maps[1]->data()[i])
                << "gain " << i << " of " << size.width << " x " << size.height;
    }
}

TEST(CreateShadingMap, WithoutImagesMakesNone)
{
    testing::internal::CaptureStdout();
    EXPECT_FALSE(create_shading_map(nullptr));
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "create_shading_map()\ncreate_shading_map failed, no image\n");
}

struct Accumulation {
    bool has_sum;
    int32_t count;
};

class ImageSumTest : public ::testing::TestWithParam<Accumulation> {};

TEST_P(ImageSumTest, WithoutASumOrAPositiveCountIsEmpty)
{
    ImageSum images;
    if (GetParam().has_sum) images.sum = two_image_sum();
    images.count = GetParam().count;
    EXPECT_TRUE(images.empty());
}

INSTANTIATE_TEST_SUITE_P(Accumulations, ImageSumTest,
                         ::testing::Values(Accumulation{false, 0}, Accumulation{false, 2},
                                           Accumulation{true, 0}, Accumulation{true, -1}));

}  // namespace
