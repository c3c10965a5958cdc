// kd-inspect's figures of frames and maps, against computations of their own.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "bmp_files.h"
#include "correction/defpix.h"
#include "correction/shading_gain.h"
#include "image_figures.h"
#include "lib/accumulate.h"
#include "lib/float_map.h"
#include "lib/image_sum.h"
#include "map_geometry.h"
#include "report_data.h"
#include "report_page.h"
#include "temporal_noise.h"

namespace {

using test_files::bmp_bytes;
using test_files::Scratch;

struct NoiseCase {
    const char* name;
    int32_t frames;
    uint16_t depth;
    int32_t width;
    int32_t height;
};

// Frames of random pixels; each frame's bytes in file order, and each
// pixel's value as the sum takes it (the channel mean rounded down).
struct Frames {
    std::vector<std::string> paths;
    std::vector<std::vector<int32_t>> values;
};

Frames random_frames(Scratch& scratch, const NoiseCase& c)
{
    std::mt19937 random(static_cast<uint32_t>(c.frames * 131 + c.depth));
    std::uniform_int_distribution<int32_t> byte(0, 255);
    const size_t pixels = static_cast<size_t>(c.width) * static_cast<size_t>(c.height);
    const size_t bytes_per_pixel = c.depth / 8u;
    Frames frames;
    for (int32_t f = 0; f < c.frames; ++f) {
        std::vector<uint8_t> bytes(pixels * bytes_per_pixel);
        for (uint8_t& b : bytes) b = static_cast<uint8_t>(byte(random));
        std::vector<int32_t> values(pixels);
        for (size_t i = 0; i < pixels; ++i) {
            const uint8_t* p = bytes.data() + i * bytes_per_pixel;
            values[i] = bytes_per_pixel == 1 ? p[0] : (p[0] + p[1] + p[2]) / 3;
        }
        frames.values.push_back(values);
        frames.paths.push_back(scratch.write("f" + std::to_string(f) + ".bmp",
                                             bmp_bytes(c.width, c.height, c.depth, bytes)));
    }
    return frames;
}

// The square root of the mean over pixels of each pixel's sample variance,
// the plain two-pass way.
std::optional<double> direct_noise(const Frames& frames)
{
    const size_t count = frames.values.size();
    if (count < 2) return std::nullopt;
    const size_t pixels = frames.values[0].size();
    double total = 0.0;
    for (size_t i = 0; i < pixels; ++i) {
        double mean = 0.0;
        for (const auto& frame : frames.values) mean += frame[i];
        mean /= static_cast<double>(count);
        double squares = 0.0;
        for (const auto& frame : frames.values) squares += (frame[i] - mean) * (frame[i] - mean);
        total += squares / static_cast<double>(count - 1);
    }
    return std::sqrt(total / static_cast<double>(pixels));
}

class TemporalNoise : public ::testing::TestWithParam<NoiseCase> {};

TEST_P(TemporalNoise, BothWaysEqualTheDirectComputation)
{
    const NoiseCase& c = GetParam();
    Scratch scratch(std::string("report_figures_") + c.name + "_");
    const Frames frames = random_frames(scratch, c);
    const std::optional<double> expected = direct_noise(frames);

    const std::optional<double> read_again = temporal_noise(frames.paths, c.width, c.height);
    ASSERT_EQ(read_again.has_value(), expected.has_value());
    if (expected) {
        EXPECT_NEAR(*read_again, *expected, 1e-9 * (1.0 + *expected));
    }

    // Small bands and groups, so that every file comes in several bands.
    FrameSquares squares(frames.paths.size());
    AccumulateEvents events;
    events.band_read = [&squares](const FileBand& band) { squares.add(band); };
    AccumulateOptions options;
    options.band_bytes = 64;
    options.files_per_group = 5;
    Accumulated sum = accumulate_bmp_files(frames.paths, ImageSum(), events, options);
    ASSERT_TRUE(sum.done);
    const bool grey = c.depth == 8 && c.frames >= 2;
    EXPECT_EQ(squares.usable(), grey);
    const std::optional<double> from_squares = squares.noise(*sum.images.sum);
    ASSERT_EQ(from_squares.has_value(), grey);
    if (grey) {
        EXPECT_NEAR(*from_squares, *expected, 1e-9 * (1.0 + *expected));
    }
}

// More than 257 frames take 32-bit sums, more than 64 are opened again for
// each band; FrameSquares refuses colour frames, whose noise is read again.
INSTANTIATE_TEST_SUITE_P(Frames, TemporalNoise,
                         ::testing::Values(NoiseCase{"one_frame", 1, 8, 5, 3},
                                           NoiseCase{"two_grey", 2, 8, 37, 23},
                                           NoiseCase{"seven_grey", 7, 8, 19, 41},
                                           NoiseCase{"three_hundred_grey", 300, 8, 6, 5},
                                           NoiseCase{"three_colour", 3, 24, 13, 9},
                                           NoiseCase{"two_colour_32", 2, 32, 11, 7}),
                         [](const auto& info) { return std::string(info.param.name); });

struct Entry {
    int32_t x;
    int32_t y;
    int32_t kind;
};

struct ClusterCase {
    const char* name;
    std::vector<Entry> entries;
    ClusterCounts expected;
};

class Clusters : public ::testing::TestWithParam<ClusterCase> {};

TEST_P(Clusters, AreEightConnectedPixelEntries)
{
    DefpixTable table;
    for (const Entry& e : GetParam().entries) ASSERT_TRUE(table.defpix_add(e.x, e.y, e.kind));
    const ClusterCounts counts = count_clusters(table);
    const ClusterCounts& expected = GetParam().expected;
    EXPECT_EQ(counts.single, expected.single);
    EXPECT_EQ(counts.two_to_four, expected.two_to_four);
    EXPECT_EQ(counts.five_or_more, expected.five_or_more);
    EXPECT_EQ(counts.largest, expected.largest);
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, Clusters,
    ::testing::Values(
        ClusterCase{
            "diagonal", {{3, 3, 0}, {4, 4, 0}, {5, 5, 0}, {6, 6, 0}, {7, 7, 0}}, {0, 0, 1, 5}},
        ClusterCase{"anti_diagonal", {{9, 1, 0}, {8, 2, 0}, {7, 3, 0}}, {0, 1, 0, 3}},
        ClusterCase{"knights_move", {{4, 4, 0}, {5, 6, 0}}, {2, 0, 0, 1}},
        // Pixel kinds 1 to 3 are pixels too.
        ClusterCase{"kinds", {{4, 4, 1}, {5, 5, 2}, {6, 4, 3}}, {0, 1, 0, 3}},
        // A column entry touching a pixel joins nothing and counts as none.
        ClusterCase{"column_ignored", {{5, 0, 4}, {6, 1, 0}, {4, 1, 0}}, {2, 0, 0, 1}},
        // Entries in any order: the zigzag's ends are met before its middle.
        ClusterCase{"zigzag_out_of_order",
                    {{0, 0, 0}, {4, 0, 0}, {2, 0, 0}, {1, 1, 0}, {3, 1, 0}, {2, 2, 0}},
                    {0, 0, 1, 6}},
        ClusterCase{"sizes",
                    {{20, 20, 0},
                     {30, 30, 0},
                     {31, 31, 0},
                     {40, 40, 0},
                     {41, 41, 0},
                     {40, 42, 0},
                     {42, 42, 0},
                     {60, 10, 0},
                     {61, 10, 0},
                     {62, 11, 0},
                     {63, 12, 0},
                     {62, 13, 0},
                     {61, 13, 0},
                     {0, 47, 0}},
                    {2, 2, 1, 6}},
        ClusterCase{"none", {}, {0, 0, 0, 0}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DefectMask, MarksPixelEntriesAndWholeColumnsInsideTheFrame)
{
    DefpixTable table;
    ASSERT_TRUE(table.defpix_add(1, 2, 0));
    ASSERT_TRUE(table.defpix_add(3, 0, 4));
    ASSERT_TRUE(table.defpix_add(4, 3, 2));
    ASSERT_TRUE(table.defpix_add(7, 1, 0));                // right of the frame
    ASSERT_TRUE(table.defpix_add(2, 9, 0));                // below it
    ASSERT_TRUE(table.defpix_add(9, 0, 4));                // a column right of it
    const std::vector<uint8_t> expected = {0, 0, 0, 1, 0,  //
                                           0, 0, 0, 1, 0,  //
                                           0, 1, 0, 1, 0,  //
                                           0, 0, 0, 1, 1};
    EXPECT_EQ(defect_mask(table, 5, 4), expected);
}

std::unique_ptr<FloatMap> map_of(int32_t width, int32_t height, const std::vector<float>& values)
{
    std::unique_ptr<FloatMap> map(new FloatMap(width, height));
    for (int32_t j = 0; j < height; ++j)
        for (int32_t i = 0; i < width; ++i)
            map->set(i, j, values[static_cast<size_t>(j * width + i)]);
    return map;
}

// 4 x 3 blocks of a 64 x 48 frame: corners 50, the centre block (the one
// holding pixel 32, 24) 200, the rest 100; their mean is 1100 / 12.
TEST(BlockFigures, SpreadScatterAndCornersOverTheCentreBlock)
{
    const std::unique_ptr<FloatMap> means =
        map_of(4, 3, {50, 100, 100, 50, 100, 100, 200, 100, 50, 100, 100, 50});
    const BlockFigures figures = block_figures(*means, 64, 48);
    const double mean = 1100.0 / 12;
    ASSERT_TRUE(figures.spread && figures.scatter && figures.corner_centre);
    EXPECT_NEAR(*figures.spread, 150.0 / mean * 100.0, 1e-9);
    const double squares = 4 * (50 - mean) * (50 - mean) + 7 * (100 - mean) * (100 - mean) +
                           (200 - mean) * (200 - mean);
    EXPECT_NEAR(*figures.scatter, std::sqrt(squares / 12) / mean * 100.0, 1e-9);
    EXPECT_DOUBLE_EQ(*figures.corner_centre, 0.25);
}

TEST(BlockFigures, NoneWhereTheyWouldDivideByZero)
{
    const BlockFigures dark = block_figures(*map_of(2, 2, {0, 0, 0, 0}), 32, 32);
    EXPECT_FALSE(dark.spread || dark.scatter || dark.corner_centre);
    // The centre block (1, 1) dark, the mean not.
    const BlockFigures dark_centre = block_figures(*map_of(2, 2, {10, 10, 10, 0}), 32, 32);
    EXPECT_TRUE(dark_centre.spread && dark_centre.scatter);
    EXPECT_FALSE(dark_centre.corner_centre);
}

std::unique_ptr<ImageBW> image_of(int32_t width, int32_t height, const std::vector<uint8_t>& pixels)
{
    std::unique_ptr<ImageBW> image(new ImageBW(width, height));
    std::memcpy(image->data(), pixels.data(), pixels.size());
    return image;
}

TEST(Nonuniformity, StandardDeviationOverMeanOfThePixelsLeftIn)
{
    // Without the 255: 10 to 70, mean 40, standard deviation 20.
    const std::unique_ptr<ImageBW> image = image_of(4, 2, {10, 20, 30, 40, 50, 60, 70, 255});
    const std::vector<uint8_t> excluded = {0, 0, 0, 0, 0, 0, 0, 1};
    EXPECT_NEAR(*nonuniformity(*image, &excluded), 50.0, 1e-9);
    double sum = 0.0;
    double squares = 0.0;
    for (int v : {10, 20, 30, 40, 50, 60, 70, 255}) {
        sum += v;
        squares += double(v) * v;
    }
    const double mean = sum / 8;
    EXPECT_NEAR(*nonuniformity(*image, nullptr), std::sqrt(squares / 8 - mean * mean) / mean * 100,
                1e-9);
    const std::vector<uint8_t> all(8, 1);
    EXPECT_FALSE(nonuniformity(*image, &all));
    EXPECT_FALSE(nonuniformity(*image_of(2, 1, {0, 0}), nullptr));
}

TEST(Profiles, RowAndColumnMeans)
{
    const Profiles profiles = profiles_of(*image_of(3, 2, {1, 2, 6, 10, 20, 30}));
    EXPECT_EQ(profiles.rows, (std::vector<double>{3.0, 20.0}));
    EXPECT_EQ(profiles.columns, (std::vector<double>{5.5, 11.0, 18.0}));
}

TEST(GainFigures, ClampedFromTheLimitTheCameraCannotHold)
{
    const float below = std::nextafter(shading_gain_limit, 0.0f);
    const GainFigures figures =
        gain_figures(*map_of(5, 1, {1.0f, below, shading_gain_limit, 20.0f, 0.5f}));
    EXPECT_EQ(figures.clamped, 2);
    EXPECT_EQ(figures.min, 0.5);
    EXPECT_EQ(figures.max, 20.0);
    EXPECT_NEAR(figures.mean, (1.0 + below + 16.0 + 20.0 + 0.5) / 5, 1e-6);
}

ReportData both_maps_data()
{
    ReportData d;
    d.frame_count = 2;
    d.width = 64;
    d.height = 48;
    d.frames_mean = 100.5;
    d.outliers_bright = 3;
    d.outliers_dark = 4;
    d.deviating_before = 2.5;
    d.has_defect_map = true;
    d.map_pixels = 16;
    d.map_columns = 1;
    d.clusters = {3, 1, 2, 9};
    d.agreement = {63, 5, 6};
    d.deviating_after = 0.25;
    d.has_shading_map = true;
    d.blocks_x = 4;
    d.blocks_y = 3;
    d.gains = {1.0, 2.0, 1.5, 7};
    d.blocks_before = {10.0, 5.0, 0.5};
    d.blocks_after = {1.0, std::nullopt, 0.75};
    d.nonuniformity_before = 8.0;
    d.nonuniformity_after = 2.0;
    return d;
}

// Each figure in its own row and column: every value above is distinct.
TEST(Summary, PutsEveryFigureInItsRowAndColumn)
{
    const ReportData data = both_maps_data();
    EXPECT_EQ(summary_text(data, report_metrics(data)),
              "                     before             after\n"
              "frames               2 of 64 x 48       mean 100.5, temporal noise -\n"
              "outliers             3 bright           4 dark\n"
              "defect map           16 pixels          1 columns, clusters 3 / 1 / 2, largest 9\n"
              "map vs outliers      63 confirmed       5 stale, 6 missed\n"
              "deviating %          2.5                0.25\n"
              "shading map          4 x 3              gains 1 to 2, mean 1.5, 7 clamped\n"
              "block spread %       10                 1\n"
              "block scatter %      5                  -\n"
              "corner / centre      0.5                0.75\n"
              "nonuniformity %      8                  2\n");
}

TEST(Summary, LeavesOutTheRowsOfMapsNotGiven)
{
    ReportData data = both_maps_data();
    data.has_defect_map = false;
    data.has_shading_map = false;
    const std::string text = summary_text(data, report_metrics(data));
    EXPECT_EQ(text.find("defect map"), std::string::npos);
    EXPECT_EQ(text.find("map vs outliers"), std::string::npos);
    EXPECT_EQ(text.find("shading map"), std::string::npos);
    EXPECT_NE(text.find("deviating %          2.5                -\n"), std::string::npos);
    EXPECT_NE(text.find("block spread %       10                 -\n"), std::string::npos);
}

// Every key a requirement may name is in the report with both maps, in the
// same order; without the defect map its clusters are one null figure.
TEST(Metrics, KeysOfBothMapsAndTheClustersWithoutADefectMap)
{
    const ReportData both = both_maps_data();
    std::vector<std::string> keys;
    for (const Metric& metric : report_metrics(both)) keys.push_back(metric.key);
    EXPECT_EQ(keys, metric_keys());
    EXPECT_EQ(keys.size(), 32u);

    ReportData shading_only = both;
    shading_only.has_defect_map = false;
    const std::vector<Metric> metrics = report_metrics(shading_only);
    EXPECT_EQ(metrics.size(), 29u);
    const Metric* clusters = find_metric(metrics, "defects.clusters");
    ASSERT_NE(clusters, nullptr);
    EXPECT_FALSE(clusters->value);
    EXPECT_EQ(find_metric(metrics, "defects.clusters.1"), nullptr);
    EXPECT_FALSE(find_metric(metrics, "defects.stale")->value);
    EXPECT_EQ(*find_metric(metrics, "shading.gains_clamped")->value, 7.0);
}

}  // namespace
