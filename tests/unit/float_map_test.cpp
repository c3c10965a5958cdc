#include "lib/float_map.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "lib/image.h"

namespace {

template <typename ImageClass>
std::unique_ptr<ImageClass> image_of(int32_t width, int32_t height, std::vector<uint8_t> bytes)
{
    std::unique_ptr<ImageClass> image(new ImageClass(width, height));
    image->set_data(bytes.data());
    return image;
}

std::vector<float> values_of(const FloatMap& map)
{
    return std::vector<float>(map.data(), map.data() + map.count());
}

// An image class the map does not know.
class UnknownImage : public Image {
public:
    uint32_t line_size() const override { return 2; }
    uint32_t pixel_offset(int32_t, int32_t) const override { return 0; }
    uint32_t width() const override { return 2; }
    uint32_t height() const override { return 2; }
    uint32_t bits_per_pixel() const override { return 8; }
    uint32_t bytes_per_pixel() const override { return 1; }
    uint8_t* data() const override { return const_cast<uint8_t*>(bytes_); }
    void set_data(const uint8_t*) override {}

private:
    uint8_t bytes_[4] = {1, 2, 3, 4};
};

TEST(FloatMap, NewMapIsZero)
{
    FloatMap map(3, 2);
    EXPECT_EQ(map.count(), 6);
    EXPECT_EQ(values_of(map), std::vector<float>(6, 0.0f));
}

TEST(FloatMap, MeanOfTwoGreyImages)
{
    FloatMap map(image_of<ImageBW>(2, 1, {10, 0}).get());
    map.add(image_of<ImageBW>(2, 1, {20, 255}).get());
    map.scale(1.0f / 2.0f);
    EXPECT_EQ(map.get(0, 0), 15.0f);
    EXPECT_EQ(map.get(1, 0), 127.5f);
}

TEST(FloatMap, ColourFirstImageExactLaterImagesRoundedDown)
{
    FloatMap map24(image_of<ImageRGB24>(1, 1, {1, 1, 2}).get());
    EXPECT_EQ(map24.get(0, 0), 4.0f / 3.0f);
    EXPECT_EQ(map24.get(0, 0), 1.3333334f);
    map24.add(image_of<ImageRGB24>(1, 1, {1, 1, 2}).get());
    EXPECT_EQ(map24.get(0, 0), 1.3333334f + 1.0f);

    // The fourth byte of a 32-bit pixel counts for nothing.
    FloatMap map32(image_of<ImageRGB32>(1, 1, {1, 1, 2, 200}).get());
    EXPECT_EQ(map32.get(0, 0), 1.3333334f);
    map32.add(image_of<ImageRGB32>(1, 1, {2, 2, 1, 255}).get());
    EXPECT_EQ(map32.get(0, 0), 1.3333334f + 1.0f);
}

TEST(FloatMap, UnpacksTwelveBitPairs)
{
    FloatMap map(image_of<ImageBW12>(2, 1, {0xAB, 0xCD, 0xEF}).get());
    EXPECT_EQ(values_of(map), (std::vector<float>{2749.0f, 3836.0f}));
    map.add(image_of<ImageBW12>(2, 1, {0x00, 0x21, 0x00}).get());
    EXPECT_EQ(values_of(map), (std::vector<float>{2750.0f, 3838.0f}));
}

TEST(FloatMap, TwelveBitOddLastValueIsZero)
{
    std::unique_ptr<ImageBW12> image(new ImageBW12(3, 1));
    std::memset(image->data(), 0xFF, image->buffer_size());
    FloatMap map(image.get());
    EXPECT_EQ(values_of(map), (std::vector<float>{4095.0f, 4095.0f, 0.0f}));
    map.add(image.get());
    EXPECT_EQ(values_of(map), (std::vector<float>{8190.0f, 8190.0f, 0.0f}));
}

TEST(FloatMap, SixteenBitIsLittleEndian)
{
    FloatMap map(image_of<ImageBW16>(2, 1, {0x34, 0x12, 0xFF, 0xFF}).get());
    EXPECT_EQ(values_of(map), (std::vector<float>{4660.0f, 65535.0f}));
    map.add(image_of<ImageBW16>(2, 1, {0x01, 0x00, 0x00, 0x01}).get());
    EXPECT_EQ(values_of(map), (std::vector<float>{4661.0f, 65791.0f}));
}

TEST(FloatMap, ToImageClampsAndTruncates)
{
    FloatMap map(7, 1);
    const float values[7] = {
        -3.0f, 0.5f, 255.0f, 300.0f, 254.9f, -0.5f, std::numeric_limits<float>::quiet_NaN()};
    for (int32_t x = 0; x < 7; ++x) map.set(x, 0, values[x]);
    std::unique_ptr<ImageBW> image = map.to_image();
    EXPECT_EQ(std::vector<uint8_t>(image->data(), image->data() + 7),
              (std::vector<uint8_t>{0, 0, 255, 255, 254, 0, 0}));
}

struct Outside {
    int32_t x;
    int32_t y;
};

class FloatMapOutside : public ::testing::TestWithParam<Outside> {};

TEST_P(FloatMapOutside, GetIsZeroAndSetChangesNothing)
{
    FloatMap map(3, 2);
    for (int32_t i = 0; i < 6; ++i) map.data()[i] = 1.0f + i;
    const std::vector<float> before = values_of(map);
    EXPECT_EQ(map.get(GetParam().x, GetParam().y), 0.0f);
    map.set(GetParam().x, GetParam().y, 99.0f);
    EXPECT_EQ(values_of(map), before);
}

INSTANTIATE_TEST_SUITE_P(Edges, FloatMapOutside,
                         ::testing::Values(Outside{3, 0}, Outside{0, 2}, Outside{-1, 0},
                                           Outside{0, -1}));

TEST(FloatMap, MeanAndScale)
{
    FloatMap map(2, 2);
    for (int32_t i = 0; i < 4; ++i) map.data()[i] = 1.0f + i;
    EXPECT_EQ(map.mean(), 2.5f);
    map.scale(0.5f);
    EXPECT_EQ(values_of(map), (std::vector<float>{0.5f, 1.0f, 1.5f, 2.0f}));
}

TEST(FloatMap, MeanSumsInDoublePrecision)
{
    // In float the small values would vanish next to the large one.
    FloatMap map(4, 1);
    map.data()[0] = 16777216.0f;
    map.data()[1] = map.data()[2] = 1.0f;
    map.data()[3] = 2.0f;
    EXPECT_EQ(map.mean(), 4194305.0f);
}

TEST(FloatMap, ConstructorRefusesUnknownClassesAndNoImage)
{
    UnknownImage unknown;
    for (const Image* image :
         {static_cast<const Image*>(&unknown), static_cast<const Image*>(nullptr)}) {
        int code = 0;
        try {
            FloatMap map(image);
        } catch (int raised) {
            code = raised;
        }
        EXPECT_EQ(code, -1);
    }
}

// Image of the map's class but another size, an unknown class, or none.
class AddRefused : public ::testing::TestWithParam<std::shared_ptr<Image>> {};

TEST_P(AddRefused, ThrowsMinusOneAndLeavesValues)
{
    FloatMap map(image_of<ImageBW>(2, 2, {1, 2, 3, 4}).get());
    int code = 0;
    try {
        map.add(GetParam().get());
    } catch (int raised) {
        code = raised;
    }
    EXPECT_EQ(code, -1);
    EXPECT_EQ(values_of(map), (std::vector<float>{1, 2, 3, 4}));
}

INSTANTIATE_TEST_SUITE_P(Images, AddRefused,
                         ::testing::Values(std::make_shared<ImageBW>(3, 2),
                                           std::make_shared<ImageBW>(2, 1),
                                           std::make_shared<ImageRGB24>(1, 4),
                                           std::make_shared<UnknownImage>(),
                                           std::shared_ptr<Image>()));

TEST(FloatMap, PiecesGiveTheSameValuesAsWholeImages)
{
    const std::vector<uint8_t> first = {9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 50, 60};
    const std::vector<uint8_t> second = {1, 2, 2, 3, 3, 4, 250, 251, 255, 0, 1, 1};
    FloatMap whole(image_of<ImageRGB24>(2, 2, first).get());
    whole.add(image_of<ImageRGB24>(2, 2, second).get());

    FloatMap pieces(2, 2, FloatMap::Unfilled());
    pieces.set_pixels(PixelFormat::rgb24, first.data() + 6, 2, 2);
    pieces.set_pixels(PixelFormat::rgb24, first.data(), 0, 2);
    std::unique_ptr<ImageRGB24> kind(new ImageRGB24(1, 1));
    pieces.add_pixels(kind.get(), second.data(), 0, 3);
    pieces.add_pixels(PixelFormat::rgb24, second.data() + 9, 3, 1);
    EXPECT_EQ(values_of(pieces), values_of(whole));
}

}  // namespace
