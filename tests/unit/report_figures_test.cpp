// kd-inspect's figures of frames and maps, against computations of their own.
#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "bmp_files.h"
#include "correction/defpix.h"
#include "lib/accumulate.h"
#include "lib/image_sum.h"
#include "map_geometry.h"
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

}  // namespace
