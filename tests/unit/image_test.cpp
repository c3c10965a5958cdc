#include "lib/image.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

struct Place {
    int32_t x;
    int32_t y;
};

class OutsideImage : public ::testing::TestWithParam<Place> {};

TEST_P(OutsideImage, ReadsZeroAndWritesNothing)
{
    ImageBW image(4, 3);
    for (uint32_t i = 0; i < 12; ++i) image.data()[i] = static_cast<uint8_t>(100 + i);
    const std::vector<uint8_t> before(image.data(), image.data() + 12);

    EXPECT_EQ(image.get_pixel(GetParam().x, GetParam().y), 0);
    image.set_pixel(GetParam().x, GetParam().y, 7);
    EXPECT_EQ(std::vector<uint8_t>(image.data(), image.data() + 12), before);
}

INSTANTIATE_TEST_SUITE_P(Edges, OutsideImage,
                         ::testing::Values(Place{-1, 0}, Place{4, 0}, Place{0, 3}, Place{0, -1},
                                           Place{-2147483647 - 1, 0}, Place{3, 2147483647}));

TEST(ImageBW, PixelsAreRowMajor)
{
    ImageBW image(4, 3);
    image.set_pixel(3, 2, 42);
    image.set_pixel(0, 1, 9);
    EXPECT_EQ(image.data()[11], 42);
    EXPECT_EQ(image.data()[4], 9);
    EXPECT_EQ(image.get_pixel(3, 2), 42);
    EXPECT_EQ(image.get_pixel(0, 1), 9);
}

struct Layout {
    std::shared_ptr<Image> image;  // 10 x 7
    uint32_t bits;
    uint32_t bytes;
};

class ImageLayout : public ::testing::TestWithParam<Layout> {};

TEST_P(ImageLayout, SizesFollowTheDepth)
{
    const Image& image = *GetParam().image;
    const uint32_t bytes = GetParam().bytes;
    EXPECT_EQ(image.width(), 10u);
    EXPECT_EQ(image.height(), 7u);
    EXPECT_EQ(image.bits_per_pixel(), GetParam().bits);
    EXPECT_EQ(image.bytes_per_pixel(), bytes);
    EXPECT_EQ(image.line_size(), 10 * bytes);
    EXPECT_EQ(image.pixel_offset(1, 1), 11 * bytes);
    EXPECT_EQ(image.pixel_offset(9, 6), 69 * bytes);
}

TEST_P(ImageLayout, SetDataCopiesTheWholeBuffer)
{
    Image& image = *GetParam().image;
    const size_t size = 70 * GetParam().bytes;
    std::vector<uint8_t> source(size);
    for (size_t i = 0; i < size; ++i) source[i] = static_cast<uint8_t>(i * 7);
    image.set_data(source.data());
    EXPECT_EQ(std::vector<uint8_t>(image.data(), image.data() + size), source);
}

INSTANTIATE_TEST_SUITE_P(Classes, ImageLayout,
                         ::testing::Values(Layout{std::make_shared<ImageBW>(10, 7), 8, 1},
                                           Layout{std::make_shared<ImageBW16>(10, 7), 16, 2},
                                           Layout{std::make_shared<ImageRGB24>(10, 7), 24, 3},
                                           Layout{std::make_shared<ImageRGB32>(10, 7), 32, 4}));

TEST(ImageBW12, PacksTwoPixelsInThreeBytes)
{
    EXPECT_EQ(ImageBW12(2, 1).buffer_size(), 3u);
    EXPECT_EQ(ImageBW12(3, 1).buffer_size(), 6u);  // the odd last pixel has a group of its own
    EXPECT_EQ(ImageBW12(4, 2).buffer_size(), 12u);
    EXPECT_EQ(ImageBW12(4, 2).line_size(), 6u);
    EXPECT_EQ(ImageBW12(4, 2).pixel_offset(3, 1), 9u);
}

}  // namespace
