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

#include "correction/box_filter.h"
#include "correction/defpix.h"
#include "lib/float_map.h"
#include "lib/image.h"
#include "lib/image_sum.h"
#include "parts_set.h"

namespace {

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

    for (int32_t parts : {1, 2}) {
        const PartsSet set(parts);
        std::unique_ptr<FloatMap> copy(new FloatMap(c.width, c.height));
        std::memcpy(copy->data(), sum->data(), static_cast<size_t>(sum->count()) * sizeof(float));
        const MeanImage mean(ImageSum{std::move(copy), 16});
        DetectionSettings settings;
        DefpixTable table;
        testing::internal::CaptureStdout();
        create_defpix_map(&mean, settings, table, c.threshold, c.window);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "create_defpix_map()\n" + expected)
            << parts << " part(s)";
        EXPECT_EQ(table.defpix_count(), std::min(found, defpix_table_capacity));
    }
}

INSTANTIATE_TEST_SUITE_P(Windows, DetectionOfTheMean,
                         ::testing::Values(DetectCase{37, 29, 1, 16}, DetectCase{37, 29, 2, 16},
                                           DetectCase{37, 29, 3, 8}, DetectCase{37, 29, 4, 8},
                                           DetectCase{70, 65, 7, 4}, DetectCase{70, 65, 128, 16},
                                           DetectCase{130, 9, 16, 0}, DetectCase{9, 130, 33, 2},
                                           DetectCase{1, 1, 128, 16}, DetectCase{5, 40, 8, -1},
                                           DetectCase{64, 3, 5, 300},
                                           // Tall enough to be split in two parts.
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
