#include "sensor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

using namespace camsim;

namespace {

SensorSettings sized(uint32_t width, uint32_t height)
{
    SensorSettings settings;
    settings.width = width;
    settings.height = height;
    return settings;
}

struct Frame {
    Frame(const Sensor& sensor, uint64_t index)
        : width(sensor.width()), pixels(static_cast<size_t>(width) * sensor.height())
    {
        sensor.frame(index, pixels.data());
    }
    double operator()(uint32_t x, uint32_t y) const
    {
        return pixels[static_cast<size_t>(y) * width + x];
    }
    uint32_t width;
    std::vector<uint8_t> pixels;
};

// 170 grey levels with vignetting of 1 - 0.18 (dx^2 + dy^2), without the
// fixed pattern, the noise and the defects.
double lit(const Sensor& sensor, uint32_t x, uint32_t y)
{
    const double cx = (sensor.width() - 1) / 2.0;
    const double cy = (sensor.height() - 1) / 2.0;
    const double dx = (x - cx) / cx;
    const double dy = (y - cy) / cy;
    return 170.0 * (1.0 - 0.18 * (dx * dx + dy * dy));
}

TEST(Sensor, FrameIsAPureFunctionOfSettingsAndIndex)
{
    const SensorSettings settings = sized(200, 120);
    const Sensor sensor(settings);
    const Frame first(sensor, 1000);
    for (uint64_t index : {0, 1, 999, 1001}) Frame(sensor, index);
    EXPECT_EQ(Frame(sensor, 1000).pixels, first.pixels);
    EXPECT_EQ(Frame(Sensor(settings), 1000).pixels, first.pixels);
}

TEST(Sensor, NoiseDiffersBetweenFramesNeighboursAndSeeds)
{
    const Sensor sensor(sized(200, 120));
    const Frame zero(sensor, 0);
    const Frame one(sensor, 1);
    size_t differing = 0;
    for (size_t i = 0; i < zero.pixels.size(); ++i) differing += zero.pixels[i] != one.pixels[i];
    // Two draws of sd 1.5 land on the same grey level about one time in five.
    EXPECT_GT(differing, zero.pixels.size() / 2);

    // The change from one frame to the next is uncorrelated between
    // neighbours across a row and down a column.
    auto change = [&](uint32_t x, uint32_t y) { return one(x, y) - zero(x, y); };
    for (const bool down : {false, true}) {
        double products = 0.0;
        double squares = 0.0;
        for (uint32_t y = 0; y + 1 < sensor.height(); ++y)
            for (uint32_t x = 0; x + 1 < sensor.width(); ++x) {
                products += change(x, y) * (down ? change(x, y + 1) : change(x + 1, y));
                squares += change(x, y) * change(x, y);
            }
        EXPECT_LT(std::abs(products / squares), 0.1) << (down ? "down a column" : "across a row");
    }

    SensorSettings other = sized(200, 120);
    other.seed = 7;
    EXPECT_NE(Frame(Sensor(other), 0).pixels, zero.pixels);
}

// Frame 3 of a small non-square sensor, its 64-bit FNV-1a hash measured on
// the native x86-64 build: every other build must make the same bytes.
TEST(Sensor, FrameBytesAreTheSameOnEveryBuild)
{
    SensorSettings settings = sized(96, 64);
    settings.seed = 7;
    uint64_t hash = 0xCBF29CE484222325ull;
    for (uint8_t byte : Frame(Sensor(settings), 3).pixels) hash = (hash ^ byte) * 0x100000001B3ull;
    EXPECT_EQ(hash, 0xD7F8A72AB61AAA89ull);
}

struct DefectCase {
    const char* name;
    SensorSettings settings;
    int64_t column;
    // Fewer than asked for: the sensor has no room for them all.
    bool crowded;
};

SensorSettings with(uint32_t width, uint32_t height, uint32_t hot, uint32_t dead,
                    bool has_column = true, bool column_set = false, uint32_t column = 0)
{
    SensorSettings settings = sized(width, height);
    settings.hot_pixels = hot;
    settings.dead_pixels = dead;
    settings.has_bad_column = has_column;
    settings.bad_column_set = column_set;
    settings.bad_column = column;
    return settings;
}

void PrintTo(const DefectCase& row, std::ostream* out) { *out << row.name; }

class SensorDefects : public ::testing::TestWithParam<DefectCase> {};

TEST_P(SensorDefects, AreApartAndWhereTheSensorSaysOnEveryFrame)
{
    const DefectCase& row = GetParam();
    const Sensor sensor(row.settings);
    ASSERT_EQ(sensor.bad_column(), row.column);
    std::vector<SensorDefect> all = sensor.hot();
    all.insert(all.end(), sensor.dead().begin(), sensor.dead().end());
    const size_t asked = static_cast<size_t>(row.settings.hot_pixels) + row.settings.dead_pixels;
    if (row.crowded) {
        EXPECT_LT(all.size(), asked);
        // Hot pixels are placed first, so a crowded sensor runs short of dead ones.
        EXPECT_EQ(sensor.hot().size(), std::min<size_t>(row.settings.hot_pixels, all.size()));
    } else {
        EXPECT_EQ(sensor.hot().size(), row.settings.hot_pixels);
        EXPECT_EQ(sensor.dead().size(), row.settings.dead_pixels);
    }
    for (size_t i = 0; i < all.size(); ++i) {
        ASSERT_LT(all[i].x, sensor.width());
        ASSERT_LT(all[i].y, sensor.height());
        if (row.column >= 0) {
            EXPECT_GE(std::abs(all[i].x - row.column), 8);
        }
        for (size_t j = i + 1; j < all.size(); ++j)
            EXPECT_TRUE(std::abs(int64_t{all[i].x} - all[j].x) >= 8 ||
                        std::abs(int64_t{all[i].y} - all[j].y) >= 8)
                << all[i].x << "," << all[i].y << " and " << all[j].x << "," << all[j].y;
    }
    if (sensor.width() == 0 || sensor.height() == 0) return;

    for (uint64_t index : {0, 5}) {
        const Frame frame(sensor, index);
        for (const SensorDefect& d : sensor.hot()) EXPECT_EQ(frame(d.x, d.y), 255);
        for (const SensorDefect& d : sensor.dead()) EXPECT_EQ(frame(d.x, d.y), 0);
        if (row.column < 0) continue;
        const uint32_t column = static_cast<uint32_t>(row.column);
        const uint32_t beside = column > 2 ? column - 2 : column + 2;
        double excess = 0.0;
        for (uint32_t y = 0; y < sensor.height(); ++y)
            excess += frame(column, y) - frame(beside, y) -
                      (lit(sensor, column, y) - lit(sensor, beside, y));
        EXPECT_NEAR(excess / sensor.height(), 45.0, 1.5);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SensorDefects,
    ::testing::Values(
        DefectCase{"defaults", with(320, 200, 24, 24), 320 / 3 + 1, false},
        DefectCase{"given_column", with(320, 200, 24, 24, true, true, 0), 0, false},
        DefectCase{"last_column", with(320, 200, 24, 24, true, true, 319), 319, false},
        DefectCase{"no_column", with(320, 200, 24, 24, false, true, 17), -1, false},
        DefectCase{"column_outside", with(320, 200, 24, 24, true, true, 320), -1, false},
        DefectCase{"dense", with(400, 300, 200, 200), 400 / 3 + 1, false},
        // At most four fit, one to each 8 x 8 corner.
        DefectCase{"tiny", with(16, 16, 2, 24, false), -1, true},
        // The column's neighbourhood covers every x.
        DefectCase{"all_column", with(12, 400, 5, 5), 5, true},
        DefectCase{"far_more_than_fit", with(64, 64, 100000, 100000), 22, true},
        DefectCase{"empty", with(0, 0, 24, 24), -1, true}),
    [](const ::testing::TestParamInfo<DefectCase>& info) { return std::string(info.param.name); });

TEST(Sensor, LevelsVignettingNoiseAndPatternAreAsModelled)
{
    const Sensor sensor(with(320, 240, 0, 0, false));
    std::vector<Frame> frames;
    for (uint64_t index = 0; index < 32; ++index) frames.emplace_back(sensor, index);

    // Squares of 16 x 16 in the middle, two corners and the middles of two
    // edges: 170 falling to 170 * (1 - 0.18 * 2) in the corners.
    for (const auto& corner : std::vector<std::pair<uint32_t, uint32_t>>{
             {152, 112}, {0, 0}, {304, 224}, {0, 112}, {152, 224}}) {
        double mean = 0.0, expected = 0.0, spread = 0.0;
        for (uint32_t y = corner.second; y < corner.second + 16; ++y)
            for (uint32_t x = corner.first; x < corner.first + 16; ++x) {
                expected += lit(sensor, x, y) / 256;
                double pixel_mean = 0.0;
                for (const Frame& frame : frames) pixel_mean += frame(x, y) / frames.size();
                for (const Frame& frame : frames)
                    spread += (frame(x, y) - pixel_mean) * (frame(x, y) - pixel_mean);
                mean += pixel_mean / 256;
            }
        EXPECT_NEAR(mean, expected, 0.5) << corner.first << "," << corner.second;
        EXPECT_NEAR(std::sqrt(spread / (256 * (frames.size() - 1.0))), 1.5, 0.3)
            << corner.first << "," << corner.second;
    }

    // The fixed pattern: what is left of neighbouring pixels' difference in
    // the mean of the frames once the remaining noise is taken out.
    double squares = 0.0;
    for (uint32_t y = 100; y < 140; ++y)
        for (uint32_t x = 140; x < 180; ++x) {
            double difference = 0.0;
            for (const Frame& frame : frames)
                difference += (frame(x + 1, y) - frame(x, y)) / frames.size();
            squares += difference * difference;
        }
    const double pattern_sd = std::sqrt(squares / 1600 / 2.0 - 1.5 * 1.5 / frames.size());
    EXPECT_GT(pattern_sd, 0.7);
    EXPECT_LT(pattern_sd, 1.4);
}

}  // namespace
