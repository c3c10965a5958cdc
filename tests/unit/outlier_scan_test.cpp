#include "outlier_scan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "correction/box_filter.h"
#include "correction/defpix.h"
#include "correction/defpix_detect.h"
#include "lib/float_map.h"
#include "lib/image.h"
#include "lib/image_sum.h"

namespace {

struct ScanCase {
    int32_t width;
    int32_t height;
    int32_t window;
};

std::ostream& operator<<(std::ostream& out, const ScanCase& c)
{
    return out << c.width << " x " << c.height << ", window " << c.window;
}

// Mostly smooth grey with spikes of any value, one loaded image's worth.
std::unique_ptr<FloatMap> random_frame(const ScanCase& c)
{
    std::mt19937 random(static_cast<uint32_t>(c.width * 31 + c.height * 977 + c.window));
    std::uniform_int_distribution<int> base(90, 110);
    std::uniform_int_distribution<int> any(0, 255);
    std::uniform_int_distribution<int> spike(0, 9);
    std::unique_ptr<FloatMap> frame(new FloatMap(c.width, c.height));
    for (int32_t i = 0; i < frame->count(); ++i)
        frame->data()[i] = static_cast<float>(spike(random) == 0 ? any(random) : base(random));
    return frame;
}

// The count create_defpix_map prints for the image as the mean of one
// loaded image, and the mask its filter makes of the 8-bit image.
int64_t printed_defect_count(std::unique_ptr<FloatMap> frame, int32_t window, int32_t threshold)
{
    const MeanImage mean(ImageSum{std::move(frame), 1});
    DetectionSettings settings;
    DefpixTable table;
    testing::internal::CaptureStdout();
    create_defpix_map(&mean, settings, table, threshold, window);
    const std::string printed = testing::internal::GetCapturedStdout();
    const std::string label = "defect count ";
    const size_t at = printed.rfind(label);
    if (at == std::string::npos) {
        ADD_FAILURE() << "no defect count in: " << printed;
        return -1;
    }
    return std::strtoll(printed.c_str() + at + label.size(), nullptr, 10);
}

// Kinds and distances from the window means as they were first defined: in
// whole numbers, d = p - m; bright when d > t, dark when -d > t, and below
// 0 dark exactly when not bright.
void expect_kinds_and_deviations(const ImageBW& image, const OutlierScan& scan, int32_t window,
                                 int32_t t)
{
    int64_t bright = 0;
    int64_t dark = 0;
    std::vector<int64_t> deviating(largest_plotted_deviation + 1, 0);
    box_filter_means(image, window, window,
                     [&](int32_t y, const uint8_t* pixels, const uint8_t* means, int32_t n) {
                         for (int32_t x = 0; x < n; ++x) {
                             const int64_t d = int64_t{pixels[x]} - means[x];
                             const bool above = d > t;
                             const bool below = t >= 0 ? -d > t : !above;
                             bright += above;
                             dark += below;
                             const uint8_t kind = above ? outlier_bright : below ? outlier_dark : 0;
                             ASSERT_EQ(scan.kind[static_cast<size_t>(y) * n + x], kind)
                                 << "x " << x << " y " << y;
                             for (int64_t k = 0; k <= largest_plotted_deviation; ++k)
                                 deviating[static_cast<size_t>(k)] += std::llabs(d) > k;
                         }
                     });
    EXPECT_EQ(scan.bright, bright);
    EXPECT_EQ(scan.dark, dark);
    EXPECT_EQ(std::vector<int64_t>(scan.deviating.begin(), scan.deviating.end()), deviating);
}

class ScanAgainstDetection : public ::testing::TestWithParam<ScanCase> {};

// kd-inspect's figures must count what --create_defpix_map reports for the
// same image, mark the very pixels detection's mask marks, and split them as
// the rule says; the counted-only scan must give the same counts.
TEST_P(ScanAgainstDetection, FindsWhatDetectionPrints)
{
    const ScanCase c = GetParam();
    for (int32_t t : {INT32_MIN, -256, -5, -1, 0, 16, 255, 256, 300, INT32_MAX}) {
        SCOPED_TRACE("threshold " + std::to_string(t));
        std::unique_ptr<FloatMap> frame = random_frame(c);
        const std::unique_ptr<ImageBW> image = frame->to_image();
        const OutlierScan scan = scan_outliers(*image, t, c.window);
        const OutlierScan counted = scan_outliers(*image, t, c.window, OutlierKinds::counted);
        EXPECT_EQ(scan.outliers(), printed_defect_count(std::move(frame), c.window, t));
        EXPECT_EQ(counted.bright, scan.bright);
        EXPECT_EQ(counted.dark, scan.dark);
        EXPECT_TRUE(counted.kind.empty());

        ImageBW mask(c.width, c.height);
        std::copy(image->data(), image->data() + scan.kind.size(), mask.data());
        box_filter_threshold(mask, c.window, c.window, t);
        for (size_t i = 0; i < scan.kind.size(); ++i)
            ASSERT_EQ(mask.data()[i], scan.kind[i] != 0 ? 255 : 0) << "pixel " << i;
        expect_kinds_and_deviations(*image, scan, c.window, t);
    }
}

INSTANTIATE_TEST_SUITE_P(Images, ScanAgainstDetection,
                         ::testing::Values(ScanCase{37, 23, 1}, ScanCase{37, 23, 2},
                                           ScanCase{64, 40, 7}, ScanCase{64, 40, 16},
                                           ScanCase{5, 9, 128}, ScanCase{1, 1, 3},
                                           ScanCase{300, 3, 33}, ScanCase{2, 150, 4}));

}  // namespace
