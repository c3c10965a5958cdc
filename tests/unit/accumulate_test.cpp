#include "lib/accumulate.h"

#include <gtest/gtest.h>

#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "bmp_files.h"
#include "lib/bmp.h"
#include "parts_set.h"

namespace {

using test_files::bmp_bytes;
using test_files::counting_bytes;
using test_files::Scratch;

std::vector<float> values_of(const FloatMap& map)
{
    return std::vector<float>(map.data(), map.data() + map.count());
}

// Adding whole images one after the other: what the banded sum must equal.
std::unique_ptr<FloatMap> frame_by_frame(const std::vector<std::string>& paths,
                                         std::unique_ptr<FloatMap> sum)
{
    for (const std::string& path : paths) {
        std::unique_ptr<Image> image = load_bmp(path.c_str());
        if (sum)
            sum->add(image.get());
        else
            sum.reset(new FloatMap(image.get()));
    }
    return sum;
}

// The call as the commands make it: the sum goes in and comes back.
bool accumulate(const std::vector<std::string>& paths, ImageSum& images,
                const AccumulateEvents& events,
                const AccumulateOptions& options = AccumulateOptions())
{
    Accumulated result = accumulate_bmp_files(paths, std::move(images), events, options);
    images = std::move(result.images);
    return result.done;
}

// Records the events as text lines.
struct Recorder {
    std::vector<std::string> lines;
    AccumulateEvents events()
    {
        AccumulateEvents events;
        events.announce = [this](const char* path) { lines.push_back(std::string("+") + path); };
        events.failed = [this](const char* path) { lines.push_back(std::string("!") + path); };
        return events;
    }
};

constexpr int32_t width = 7;
constexpr int32_t height = 11;

// Seven files of three depths, 7 x 11 (odd sizes so bands and lines end
// unevenly), the first of them of `first_depth` bits.
std::vector<std::string> mixed_files(Scratch& scratch, uint16_t first_depth)
{
    const uint16_t depths[] = {first_depth, 8, 32, 8, 24, 8, 32};
    std::vector<std::string> paths;
    for (int i = 0; i < 7; ++i) {
        const size_t size = static_cast<size_t>(width) * height * (depths[i] / 8);
        paths.push_back(
            scratch.write("m" + std::to_string(i) + ".bmp",
                          bmp_bytes(width, height, depths[i],
                                    counting_bytes(size, static_cast<uint8_t>(37 * i)))));
    }
    return paths;
}

struct Banding {
    uint32_t band_bytes;
    uint32_t files_per_group;
    uint16_t first_depth;  // 24: the first values of a new sum are fractions
};

class BandedSum : public ::testing::TestWithParam<Banding> {};

TEST_P(BandedSum, EqualsFrameByFrameStartingFromNone)
{
    Scratch scratch("accumulate_new_");
    const std::vector<std::string> paths = mixed_files(scratch, GetParam().first_depth);
    const AccumulateOptions options{GetParam().band_bytes, GetParam().files_per_group};

    ImageSum images;
    Recorder recorder;
    AccumulateEvents events = recorder.events();
    // Every file line is handed over once, as the file holds it.
    std::mutex handed_lock;
    std::vector<std::vector<std::string>> handed(paths.size(), std::vector<std::string>(height));
    events.band_read = [&](const FileBand& band) {
        std::lock_guard<std::mutex> hold(handed_lock);
        for (int32_t j = 0; j < band.lines; ++j) {
            const char* line = reinterpret_cast<const char*>(band.bytes) + band.line_size * j;
            handed[band.file][band.first_line + j] += std::string(line, band.line_size);
        }
    };
    ASSERT_TRUE(accumulate(paths, images, events, options));
    ASSERT_TRUE(images.sum);
    EXPECT_EQ(images.count, 7);
    EXPECT_EQ(values_of(*images.sum), values_of(*frame_by_frame(paths, nullptr)));
    ASSERT_EQ(recorder.lines.size(), 7u);
    EXPECT_EQ(recorder.lines.front(), "+" + paths.front());
    for (size_t f = 0; f < paths.size(); ++f) {
        const std::unique_ptr<Image> image = load_bmp(paths[f].c_str());
        for (int32_t line = 0; line < height; ++line) {
            const char* row = reinterpret_cast<const char*>(image->data()) +
                              image->line_size() * (height - 1 - line);
            EXPECT_EQ(handed[f][line], std::string(row, image->line_size()))
                << "file " << f << " line " << line;
        }
    }
}

TEST_P(BandedSum, EqualsFrameByFrameAddingToAnExistingSum)
{
    Scratch scratch("accumulate_add_");
    const std::vector<std::string> paths = mixed_files(scratch, GetParam().first_depth);
    const AccumulateOptions options{GetParam().band_bytes, GetParam().files_per_group};
    const std::vector<std::string> first(paths.begin(), paths.begin() + 1);
    const std::vector<std::string> rest(paths.begin() + 1, paths.end());

    ImageSum images;
    ASSERT_TRUE(accumulate(first, images, AccumulateEvents(), options));
    const FloatMap* kept = images.sum.get();
    ASSERT_TRUE(accumulate(rest, images, AccumulateEvents(), options));
    EXPECT_EQ(images.sum.get(), kept);
    EXPECT_EQ(images.count, 7);
    EXPECT_EQ(values_of(*images.sum), values_of(*frame_by_frame(paths, nullptr)));
}

INSTANTIATE_TEST_SUITE_P(
    Bands, BandedSum,
    ::testing::Values(Banding{1, 16, 8},             // one line a band
                      Banding{3 * width * 4, 2, 8},  // three lines, groups of two
                      Banding{4 * width * 4, 1, 8},  // four lines, one file a group
                      Banding{1u << 20, 16, 8},      // the whole picture
                      Banding{3 * width * 4, 2, 24}, Banding{1u << 20, 16, 24}));

// Where whole numbers near 2^24 or fractions are in the sum, adding file by
// file rounds differently from adding totals: the results must still be
// those of adding file by file.
struct Start {
    float base;
    float step;  // value i is base + step * (i % 3)
};

class StartingValue : public ::testing::TestWithParam<Start> {};

TEST_P(StartingValue, SumEqualsAddingFileByFile)
{
    Scratch scratch("accumulate_start_");
    const std::vector<std::string> paths = mixed_files(scratch, 8);
    ImageSum images;
    images.sum.reset(new FloatMap(width, height));
    std::unique_ptr<FloatMap> expected(new FloatMap(width, height));
    for (int32_t i = 0; i < expected->count(); ++i)
        images.sum->data()[i] = expected->data()[i] =
            GetParam().base + GetParam().step * static_cast<float>(i % 3);
    ASSERT_TRUE(accumulate(paths, images, AccumulateEvents()));
    expected = frame_by_frame(paths, std::move(expected));
    EXPECT_EQ(values_of(*images.sum), values_of(*expected));
}

INSTANTIATE_TEST_SUITE_P(Values, StartingValue,
                         ::testing::Values(Start{0.0f, 1.0f}, Start{1.0f / 3.0f, 7.1f},
                                           Start{1000.5f, 0.25f},
                                           Start{16777216.0f - 7 * 255 - 2, 1.0f},
                                           Start{16777000.0f, 1.0f}, Start{3.0e7f, 2.0f},
                                           Start{-5.0f, 1.0f}));

TEST(Accumulate, NoFilesChangesNothing)
{
    ImageSum images;
    images.count = 3;
    Recorder recorder;
    EXPECT_TRUE(accumulate({}, images, recorder.events()));
    EXPECT_FALSE(images.sum);
    EXPECT_EQ(images.count, 3);
    EXPECT_TRUE(recorder.lines.empty());
}

enum class Fault { missing, other_size, other_depth, malformed };

class FailingFile : public ::testing::TestWithParam<Fault> {};

TEST_P(FailingFile, StopsThereLeavingSumAndCount)
{
    Scratch scratch("accumulate_fail_");
    const std::string good = scratch.write("good.bmp", bmp_bytes(2, 2, 8, {1, 2, 3, 4}));
    std::string bad = scratch.path("bad.bmp");
    switch (GetParam()) {
    case Fault::missing: break;
    case Fault::other_size: test_files::write_file(bad, bmp_bytes(2, 1, 8, {1, 2})); break;
    case Fault::other_depth:
        test_files::write_file(bad, bmp_bytes(2, 2, 16, counting_bytes(8)));
        break;
    case Fault::malformed: test_files::write_file(bad, bmp_bytes(2, 2, 8, {1, 2, 3})); break;
    }
    const std::string after = scratch.write("after.bmp", bmp_bytes(2, 2, 8, {5, 5, 5, 5}));

    for (bool existing : {false, true}) {
        ImageSum images;
        if (existing) {
            ASSERT_TRUE(accumulate({good}, images, AccumulateEvents()));
        }
        const FloatMap* kept = images.sum.get();
        const std::vector<float> before =
            images.sum ? values_of(*images.sum) : std::vector<float>();

        Recorder recorder;
        EXPECT_FALSE(accumulate({good, bad, after}, images, recorder.events()));
        EXPECT_EQ(recorder.lines, (std::vector<std::string>{"+" + good, "+" + bad, "!" + bad}));
        EXPECT_EQ(images.sum.get(), kept);
        EXPECT_EQ(images.count, existing ? 1 : 0);
        if (images.sum) {
            EXPECT_EQ(values_of(*images.sum), before);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Faults, FailingFile,
                         ::testing::Values(Fault::missing, Fault::other_size, Fault::other_depth,
                                           Fault::malformed));

TEST(Accumulate, FirstFileSetsTheSizeForTheRest)
{
    Scratch scratch("accumulate_size_");
    const std::string wide = scratch.write("wide.bmp", bmp_bytes(4, 1, 8, {1, 2, 3, 4}));
    const std::string tall = scratch.write("tall.bmp", bmp_bytes(1, 4, 8, {1, 2, 3, 4}));
    ImageSum images;
    Recorder recorder;
    EXPECT_FALSE(accumulate({wide, tall}, images, recorder.events()));
    EXPECT_EQ(recorder.lines.back(), "!" + tall);
    EXPECT_FALSE(images.sum);
}

// A file cut short after its header was checked: found only while summing.
TEST(Accumulate, ReadErrorWhileSummingDiscardsTheSum)
{
    Scratch scratch("accumulate_late_");
    const std::vector<uint8_t> picture = bmp_bytes(2, 2, 8, {1, 2, 3, 4});
    const std::string a = scratch.write("a.bmp", picture);
    const std::string b = scratch.write("b.bmp", picture);
    const std::string c = scratch.write("c.bmp", picture);
    const AccumulateOptions one_at_a_time{1u << 20, 1};
    // One line a band, so that with two parts the two lines are summed
    // apart; the second part's own reader of b finds it cut short and leaves
    // both bands to the first.
    const AccumulateOptions one_line_a_band{8, 16};

    for (int run = 0; run < 6; ++run) {
        const bool existing = run % 2 != 0;
        const AccumulateOptions& options = run < 2 ? one_at_a_time : one_line_a_band;
        const PartsSet parts(run < 4 ? 2 : 1);
        test_files::write_file(b, picture);
        ImageSum images;
        if (existing) {
            ASSERT_TRUE(accumulate({a}, images, AccumulateEvents()));
        }

        Recorder recorder;
        AccumulateEvents events = recorder.events();
        const auto announce = events.announce;
        events.announce = [&](const char* path) {
            announce(path);
            // b was checked and closed; shorten it before summing starts.
            if (path == c)
                test_files::write_file(b, std::vector<uint8_t>(picture.begin(), picture.end() - 1));
        };
        EXPECT_FALSE(accumulate({a, b, c}, images, events, options));
        EXPECT_EQ(recorder.lines, (std::vector<std::string>{"+" + a, "+" + b, "+" + c, "!" + b}));
        EXPECT_FALSE(images.sum);
        EXPECT_EQ(images.count, 0);
    }
}

}  // namespace
