#include "correction/box_filter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <memory>
#include <ostream>
#include <random>
#include <vector>

#include "lib/image.h"

namespace {

using Pixels = std::vector<std::vector<int>>;  // [y][x]

std::unique_ptr<ImageBW> image_of(const Pixels& pixels)
{
    const int32_t height = static_cast<int32_t>(pixels.size());
    const int32_t width = static_cast<int32_t>(pixels[0].size());
    std::unique_ptr<ImageBW> image(new ImageBW(width, height));
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x)
            image->set_pixel(x, y, static_cast<uint8_t>(pixels[y][x]));
    return image;
}

Pixels pixels_of(const ImageBW& image)
{
    Pixels pixels(image.height(), std::vector<int>(image.width()));
    for (uint32_t y = 0; y < image.height(); ++y)
        for (uint32_t x = 0; x < image.width(); ++x) pixels[y][x] = image.get_pixel(x, y);
    return pixels;
}

Pixels field(int width, int height, int value)
{
    return Pixels(height, std::vector<int>(width, value));
}

// The filter as described, one window at a time: mean over the samples of
// [i + w/2 - w + 1, i + w/2] that lie inside, rounded down.
int window_mean(const std::vector<int>& line, int64_t i, int64_t w)
{
    const int64_t n = static_cast<int64_t>(line.size());
    const int64_t first = std::max<int64_t>(i + w / 2 - w + 1, 0);
    const int64_t last = std::min<int64_t>(i + w / 2, n - 1);
    int64_t sum = 0;
    for (int64_t k = first; k <= last; ++k) sum += line[k];
    return static_cast<int>(sum / (last - first + 1));
}

Pixels reference_means(const Pixels& image, int wh, int wv)
{
    const size_t height = image.size();
    const size_t width = image[0].size();
    Pixels across(height, std::vector<int>(width));
    for (size_t y = 0; y < height; ++y)
        for (size_t x = 0; x < width; ++x) across[y][x] = window_mean(image[y], x, wh);
    Pixels means(height, std::vector<int>(width));
    for (size_t x = 0; x < width; ++x) {
        std::vector<int> column(height);
        for (size_t y = 0; y < height; ++y) column[y] = across[y][x];
        for (size_t y = 0; y < height; ++y) means[y][x] = window_mean(column, y, wv);
    }
    return means;
}

Pixels reference_filter(const Pixels& image, int wh, int wv, int t)
{
    const Pixels means = reference_means(image, wh, wv);
    Pixels mask = means;
    for (size_t y = 0; y < image.size(); ++y)
        for (size_t x = 0; x < image[y].size(); ++x) {
            const int64_t p = image[y][x];
            const int64_t m = means[y][x];
            mask[y][x] = (p < m - t || p > m + t) ? 255 : 0;
        }
    return mask;
}

// The window means that box_filter_means hands over, row by row.
Pixels visited_means(const Pixels& pixels, int32_t wh, int32_t wv)
{
    std::unique_ptr<ImageBW> image = image_of(pixels);
    Pixels means = pixels;
    int32_t next_row = 0;
    box_filter_means(*image, wh, wv,
                     [&](int32_t y, const uint8_t* row, const uint8_t* row_means, int32_t n) {
                         EXPECT_EQ(y, next_row++);
                         EXPECT_EQ(row, image->data() + static_cast<size_t>(y) * n);
                         for (int32_t x = 0; x < n; ++x) means[y][x] = row_means[x];
                     });
    EXPECT_EQ(next_row, static_cast<int32_t>(pixels.size()));
    return means;
}

Pixels filtered(const Pixels& pixels, int32_t wh, int32_t wv, int32_t t)
{
    std::unique_ptr<ImageBW> image = image_of(pixels);
    box_filter_threshold(*image, wh, wv, t);
    return pixels_of(*image);
}

TEST(BoxFilter, WindowLargerThanImageSeesTheWholeImage)
{
    Pixels image = field(5, 5, 100);
    image[2][2] = 200;  // mean 104 everywhere
    Pixels expected = field(5, 5, 0);
    expected[2][2] = 255;
    EXPECT_EQ(filtered(image, 128, 128, 16), expected);
}

TEST(BoxFilter, BrightPixelDragsItsNeighboursBelowTheirMean)
{
    Pixels image = field(7, 7, 100);
    image[3][3] = 255;  // mean 117 in the 3 × 3 block around it
    Pixels expected = field(7, 7, 0);
    for (int y = 2; y <= 4; ++y)
        for (int x = 2; x <= 4; ++x) expected[y][x] = 255;
    EXPECT_EQ(filtered(image, 3, 3, 16), expected);
}

struct ThresholdCase {
    int value;  // of the one odd pixel in a 10 × 10 field of 100
    int threshold;
    bool outlier;
};

std::ostream& operator<<(std::ostream& out, const ThresholdCase& c)
{
    return out << "value " << c.value << " threshold " << c.threshold;
}

class ExactThreshold : public ::testing::TestWithParam<ThresholdCase> {};

// The whole field is one window: mean (9900 + value) / 100, rounded down.
TEST_P(ExactThreshold, OnlyStrictlyBeyondCounts)
{
    const ThresholdCase c = GetParam();
    Pixels image = field(10, 10, 100);
    image[4][6] = c.value;
    EXPECT_EQ(filtered(image, 64, 64, c.threshold)[4][6], c.outlier ? 255 : 0);
}

INSTANTIATE_TEST_SUITE_P(AboveAndBelow, ExactThreshold,
                         ::testing::Values(ThresholdCase{120, 20, false},  // mean 100
                                           ThresholdCase{120, 19, true},
                                           ThresholdCase{80, 19, false},  // mean 99
                                           ThresholdCase{80, 18, true}, ThresholdCase{0, 99, false},
                                           ThresholdCase{0, 98, true}));

struct RandomCase {
    int32_t width;
    int32_t height;
};

std::ostream& operator<<(std::ostream& out, const RandomCase& c)
{
    return out << c.width << " x " << c.height;
}

class AgainstDirectAverage : public ::testing::TestWithParam<RandomCase> {};

// Random images of mostly smooth content with spikes, every window parity in
// both directions, windows smaller than, equal to and larger than the image.
TEST_P(AgainstDirectAverage, GivesTheSameMaskAndMeans)
{
    const RandomCase c = GetParam();
    std::mt19937 random(static_cast<uint32_t>(c.width * 131 + c.height));
    std::uniform_int_distribution<int> base(90, 110);
    std::uniform_int_distribution<int> any(0, 255);
    std::uniform_int_distribution<int> spike(0, 15);
    std::uniform_int_distribution<int> threshold(-2, 30);
    const int32_t extreme_thresholds[] = {INT32_MIN, -256, 255, 256, INT32_MAX};

    const int32_t largest = std::max(c.width, c.height) + 2;
    // Around the largest window whose sums fit 16 bits, too.
    std::vector<int32_t> windows = {INT32_MAX, 1000000, 127, 128, 129, 254, 255, 256, 257, 258};
    for (int32_t w = 1; w <= std::min(largest, 24); ++w) windows.push_back(w);
    windows.push_back(largest * 2);
    windows.push_back(largest * 2 + 1);

    for (int round = 0; round < 3; ++round) {
        Pixels image = field(c.width, c.height, 0);
        for (auto& line : image)
            for (int& p : line) p = spike(random) == 0 ? any(random) : base(random);
        for (size_t a = 0; a < windows.size(); ++a) {
            const int32_t wh = windows[a];
            for (int32_t wv : {wh, windows[(a * 7 + round) % windows.size()]}) {
                const int32_t t =
                    a % 4 == 3 ? extreme_thresholds[(a / 4 + round) % 5] : threshold(random);
                ASSERT_EQ(filtered(image, wh, wv, t), reference_filter(image, wh, wv, t))
                    << "wh " << wh << " wv " << wv << " t " << t;
                ASSERT_EQ(visited_means(image, wh, wv), reference_means(image, wh, wv))
                    << "wh " << wh << " wv " << wv;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, AgainstDirectAverage,
                         ::testing::Values(RandomCase{1, 1}, RandomCase{1, 17}, RandomCase{19, 1},
                                           RandomCase{2, 2}, RandomCase{8, 5}, RandomCase{37, 23},
                                           RandomCase{64, 40}, RandomCase{300, 3},
                                           RandomCase{2, 300}));

// The rule in whole numbers: d = p - m; from 0 up, bright when d > t and dark
// when -d > t; below 0 bright when d > t and dark otherwise.
uint8_t reference_kind(int p, int m, int32_t t)
{
    const int64_t d = int64_t{p} - m;
    const bool bright = d > t;
    const bool dark = t >= 0 ? -d > t : !bright;
    return static_cast<uint8_t>((bright ? outlier_bright : 0) | (dark ? outlier_dark : 0));
}

class RuleOfEveryPair : public ::testing::TestWithParam<int32_t> {};

// Every pixel value against every mean, the kinds a row at a time and the
// mask pixel by pixel, at thresholds on both sides of each end of the bytes.
TEST_P(RuleOfEveryPair, MatchesTheRuleInWholeNumbers)
{
    const int32_t t = GetParam();
    const OutlierRule rule(t);
    std::vector<uint8_t> pixels(256);
    std::vector<uint8_t> means(256);
    std::vector<uint8_t> kinds(256);
    for (int m = 0; m < 256; ++m) {
        for (int p = 0; p < 256; ++p) {
            pixels[p] = static_cast<uint8_t>(p);
            means[p] = static_cast<uint8_t>(m);
        }
        rule.kinds(pixels.data(), means.data(), 256, kinds.data());
        for (int p = 0; p < 256; ++p) {
            const uint8_t expected = reference_kind(p, m, t);
            ASSERT_EQ(kinds[p], expected) << "p " << p << " m " << m;
            const bool outlier = p < int64_t{m} - t || p > int64_t{m} + t;
            ASSERT_EQ(rule.mask(pixels[p], means[p]), outlier ? 255 : 0) << "p " << p << " m " << m;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Thresholds, RuleOfEveryPair,
                         ::testing::Values(INT32_MIN, -257, -256, -255, -254, -5, -1, 0, 1, 16, 254,
                                           255, 256, 300, INT32_MAX));

}  // namespace
