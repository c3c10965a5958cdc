#include "correction/defpix_detect.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "correction/defpix.h"
#include "lib/float_map.h"
#include "lib/image.h"
#include "lib/image_sum.h"

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

struct DetectCase {
    int32_t width;
    int32_t height;
    int32_t window;
    int32_t threshold;
};

std::ostream& operator<<(std::ostream& out, const DetectCase& c)
{
    return out << c.width << " x " << c.height << ", window " << c.window << ", threshold "
               << c.threshold;
}

class DetectionOfTheMean : public ::testing::TestWithParam<DetectCase> {};

// Detection makes the 8-bit mean a line at a time as the filter takes the
// lines; it must print what filtering the whole 8-bit image of the scaled
// sum prints.
TEST_P(DetectionOfTheMean, AsTheWholeImageFiltered)
{
    const DetectCase c = GetParam();
    std::mt19937 random(static_cast<uint32_t>(c.width * 7 + c.height * 131 + c.window));
    std::unique_ptr<FloatMap> sum(new FloatMap(c.width, c.height));
    for (int32_t i = 0; i < sum->count(); ++i)
        sum->data()[i] =
            static_cast<float>(random() % 100 == 0 ? random() % 4096 : 1600 + random() % 200);
    FloatMap scaled(c.width, c.height);
    std::memcpy(scaled.data(), sum->data(), static_cast<size_t>(sum->count()) * sizeof(float));
    scaled.scale(1.0f / 16.0f);
    std::unique_ptr<ImageBW> mask = scaled.to_image();
    box_filter_threshold(*mask, c.window, c.window, c.threshold);
    std::string expected;
    char line[64];
    std::snprintf(line, sizeof line, "lt_v %d, lt_w %d\nmean brightness %lf\n", c.threshold,
                  c.window, static_cast<double>(scaled.mean()));
    expected += line;
    int32_t found = 0;
    for (int32_t y = 0; y < c.height; ++y)
        for (int32_t x = 0; x < c.width; ++x)
            if (mask->get_pixel(x, y) != 0) {
                std::snprintf(line, sizeof line, "%d, %d, %.1f\n", x, y,
                              static_cast<double>(scaled.get(x, y)));
                expected += line;
                ++found;
            }
    expected += "defect count " + std::to_string(found) + "\n";

    const MeanImage mean(ImageSum{std::move(sum), 16});
    DetectionSettings settings;
    DefpixTable table;
    testing::internal::CaptureStdout();
    create_defpix_map(&mean, settings, table, c.threshold, c.window);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "create_defpix_map()\n" + expected);
    EXPECT_EQ(table.defpix_count(), std::min(found, defpix_table_capacity));
}

INSTANTIATE_TEST_SUITE_P(Windows, DetectionOfTheMean,
                         ::testing::Values(DetectCase{37, 29, 1, 16}, DetectCase{37, 29, 2, 16},
                                           DetectCase{37, 29, 3, 8}, DetectCase{37, 29, 4, 8},
                                           DetectCase{70, 65, 7, 4}, DetectCase{70, 65, 128, 16},
                                           DetectCase{130, 9, 16, 0}, DetectCase{9, 130, 33, 2},
                                           DetectCase{1, 1, 128, 16}, DetectCase{5, 40, 8, -1},
                                           DetectCase{64, 3, 5, 300},
                                           // Tall enough for two parts where there
                                           // are two processors.
                                           DetectCase{50, 300, 16, 4}, DetectCase{50, 300, 301, 8},
                                           DetectCase{33, 200, 2, 16}, DetectCase{40, 129, 128, 2},
                                           DetectCase{17, 128, 1, 0}));

// With a threshold below 0 every pixel is an outlier, printed with its mean
// value as printf's "%.1f" writes it: ties to the even digit (0.25 as 0.2),
// negative values, large ones, and the words for the values that are not
// finite.
TEST(CreateDefpixMap, PrintsEachOutlierAsPrintfDoes)
{
    const float sums[] = {1.0f,
                          1.0f,
                          3.0f,
                          -3.0f,
                          1e7f,
                          4.2f,
                          0.1f,
                          2.0f,
                          -0.0f,
                          1e38f,
                          std::numeric_limits<float>::infinity(),
                          -std::numeric_limits<float>::infinity(),
                          std::numeric_limits<float>::quiet_NaN(),
                          511.0f,
                          0.6f,
                          5.0f};
    std::unique_ptr<FloatMap> sum(new FloatMap(8, 2));
    for (int32_t i = 0; i < 16; ++i) sum->data()[i] = sums[i];
    const MeanImage mean(ImageSum{std::move(sum), 4});
    DetectionSettings settings;
    DefpixTable table;
    testing::internal::CaptureStdout();
    create_defpix_map(&mean, settings, table, -1, 3);
    const std::string printed = testing::internal::GetCapturedStdout();

    std::string expected;
    char line[512];
    for (int32_t i = 0; i < 16; ++i) {
        std::snprintf(line, sizeof line, "%d, %d, %.1f\n", i % 8, i / 8,
                      static_cast<double>(sums[i] * 0.25f));
        expected += line;
    }
    const size_t outliers = printed.find("0, 0, ");
    ASSERT_NE(outliers, std::string::npos) << printed;
    EXPECT_EQ(printed.substr(outliers), expected + "defect count 16\n");
    EXPECT_EQ(table.defpix_count(), 16);
}

}  // namespace
